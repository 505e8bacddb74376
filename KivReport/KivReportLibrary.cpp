// libKivReport is made of its layers (see CMakeLists.txt); this file only gives
// the shared library a source of its own.
#include "KivReport/ReportComponent.h"
