#pragma once
// Process-wide state of the report component.
#include "KivReport/ReportComponent.h"

namespace kiv {
namespace rep {

class ReportComponentPrivate {
public:
    // The assertion action of lfw::Assert for an initialization-options value
    // (0 to 3); -1 for any other value.
    static int assertActionFromOptions(int optionsAction);

    // Clears the initialized flag so that tests can run initialize() again.
    static void resetInitializedForTesting();
};

}  // namespace rep
}  // namespace kiv
