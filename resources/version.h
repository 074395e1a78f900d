// The one version number of the build. The program's version resource, the
// About box and the package names (scripts/package) all take it from here.
#pragma once

#define MARIVANE_VERSION_NUMBERS 1,1,0,0
#define MARIVANE_VERSION_TEXT "1.1.0.0"
