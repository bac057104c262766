#pragma once

// Clears the leftovers of the last download in temp and moves a downloaded update.zip up into the
// launcher folder, ready for ExtractUpdatePackage.
void StageUpdatePackage();
