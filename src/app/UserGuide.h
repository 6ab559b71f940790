#pragma once
// Where the user guide is: the HTML page that any browser shows, installed under
// share/doc/velquin/ beside the programs' folder, or made in Help/ of a build tree; the MHTML
// file of older installs where Velquin always looked for it.
#include <string>

// The first of those that exists, for the programs' folder `progDir` (ProgDir); the installed
// HTML page when none does, so that the message names where it belongs. With `english`, the
// English guide (TWVelquin.en.html) where it is there, else the Russian one.
std::string UserGuidePath(const std::string& progDir, bool english = false);
