#pragma once
#include "KivReport/KivReportExport.h"
// Start-up of the report component. Ownership: the instance stays the caller's
// and must outlive every use of the component.
#include "host/core/KivStr.h"

namespace kiv {
class Instance;

namespace rep {

class KIVREPORT_API ReportComponent {
public:
    ReportComponent() = delete;

    // Call once with the application's toolkit instance before using the
    // component: installs the toolkit's log manager as the process-wide one and
    // the failed-assertion action of the instance's options. Later calls return true.
    static bool initialize(Instance* instance);
    static bool isInitialized();

    static unsigned int version();  // 0x30b00
    static Str versionString();     // "3.11.0"
};

}  // namespace rep
}  // namespace kiv
