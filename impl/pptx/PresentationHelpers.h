#pragma once
// Small helpers the presentation editor's files share.
#include "LibCore/lfwText.h"
#include "impl/openxml/OpenXMLPackage.h"
#include "impl/storage/Problems.h"
#include <cfloat>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kiv {
namespace rep {

namespace PresentationHelpers {

using lfw::text::endsWith;

// An editing step that failed on the template's markup, reported as "operation: what".
inline void reportError(Problems& problems, const char* operation, const std::string& what) {
    problems.error(ProblemCode::TemplateMarkup, std::string(operation) + ": " + what);
}

// The text after the last "/".
inline std::string fileNameOf(const std::string& path) {
    const size_t last = path.rfind('/');
    return last == std::string::npos ? path : path.substr(last + 1);
}

// Drops the repeated items, each first occurrence staying in its place.
template <typename T>
void removeDuplicates(std::vector<T>* items) {
    std::set<T> seen;
    size_t kept = 0;
    for (size_t i = 0; i < items->size(); ++i)
        if (seen.insert((*items)[i]).second) {
            if (kept != i) (*items)[kept] = std::move((*items)[i]);
            ++kept;
        }
    items->resize(kept);
}

// A DTD has no place in a package part: the parts the report writes go without one.
inline void dropDoctype(XmlDocument* document) {
    for (TiXmlNode* node = document ? document->FirstChild() : nullptr; node;) {
        TiXmlNode* next = node->NextSibling();
        if (node->ToUnknown() && std::strncmp(node->Value(), "!DOCTYPE", 8) == 0) document->RemoveChild(node);
        node = next;
    }
}

// The ids of the relationships of these kinds (type endings) in order.
inline std::vector<std::string> idsOf(const OpenXMLRelationships& rels, std::initializer_list<const char*> kinds) {
    std::vector<std::string> ids;
    for (int i = 0; i < rels.count(); ++i)
        for (const char* kind : kinds)
            if (!rels.at(i).external && endsWith(rels.at(i).type, kind)) ids.push_back(rels.at(i).id);
    return ids;
}

}  // namespace PresentationHelpers

}  // namespace rep
}  // namespace kiv
