#include "ProtocolRegistration.h"

void WriteRegFun(const std::wstring&) {}
