// Built with the include roots of the conversion and picture libraries: it
// must fail to find the command line's header, as any file of theirs would.
#include "cli/ConvertCommand.h"
#include "export/Convert.h"
#include "render/Render.h"
