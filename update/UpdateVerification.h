#pragma once
// The check of update.zip against its signature and the installation's stamp, through the handle
// that extraction then reads, before anything is written.

#include <string>

#include "ArchiveSource.h"
#include "UpdateTrust.h"

// `root` ends in a separator and holds update.zip.minisig beside the archive. An accepted update
// newer than the stamp leaves the stamp at its timestamp, so that an interrupted one can be finished
// but no older one can follow it.
UpdateVerdict VerifyUpdate(const UpdateTrust& trust, ArchiveSource& archive, const std::wstring& root);
