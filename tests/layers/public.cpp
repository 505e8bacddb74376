// Compiled with the include folders of the public headers: the creators'
// private headers, included under the same folder name, must not be found
// (KIV_UPWARD), the public ones must.
#ifdef KIV_UPWARD
#include "KivReport/ReportCreatorHtml_p.h"
#else
#include "KivReport/KivReportExport.h"
#endif
