// Linked into the test programs of the storage layer and above: each test starts
// and ends with TinyXML condensing white space, its default.
#include "support/TestSupport.h"
#include <tinyxml.h>

namespace {
void condense() { TiXmlBase::SetCondenseWhiteSpace(true); }
const bool registered = (kivtest::registerStateReset(&condense, &condense), true);
}  // namespace
