#pragma once
// Texts that the module's record and its version resource share; plain macros, so that the
// resource compiler reads them too.

#define MOVIEPANE_DESCRIPTION "Media Foundation Movie Viewer Module"
#define MOVIEPANE_COPYRIGHT "Copyright (C) 2026 The moviepane developers"
