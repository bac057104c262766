#pragma once

// Unpacks update.zip from the current directory over the installation, then removes it.
void ExtractUpdatePackage();
