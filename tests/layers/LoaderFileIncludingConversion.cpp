// Built with the loader's include roots only: it must fail to find the
// conversion library's header, as any file of the loader would.
#include "export/Convert.h"
#include "parser/VRMLParser.h"
