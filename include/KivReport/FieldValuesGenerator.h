#pragma once
#include "KivReport/KivReportExport.h"
// Field values (DATABASE_NAME, SCALAR_RESULT_MAX, ...) read from a loaded model.
// Ownership: the model stays the caller's; it is only read.
#include "host/core/KivStr.h"
#include <map>

namespace kiv {
namespace ug {
class UnstructGridModel;
}

namespace rep {

class KIVREPORT_API FieldValuesGenerator {
public:
    FieldValuesGenerator() = delete;

    // Keys whose source the model lacks are left out; a null model gives an empty map.
    static std::map<Str, Str> getFieldValuesFromModel(const ug::UnstructGridModel* model);
};

}  // namespace rep
}  // namespace kiv
