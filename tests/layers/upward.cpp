// Compiled with the include folders of the OpenXML layer: the PowerPoint layer
// above it must not be found (KIV_UPWARD), its own headers must.
#ifdef KIV_UPWARD
#include "impl/pptx/SlideContent.h"
#else
#include "impl/openxml/OpenXMLPaths.h"
#endif
