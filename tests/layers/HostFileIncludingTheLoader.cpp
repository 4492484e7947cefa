// Built with the include roots of the host libraries only: it must fail to
// find the loader's header, as any file of host/ would.
#include "host/geometry/Geometry.h"
#include "parser/VRMLParser.h"
