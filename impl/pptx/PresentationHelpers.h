#pragma once
// Small helpers the presentation editor's files share.
#include "host/ug/MkString.h"
#include "impl/openxml/OpenXMLPackage.h"
#include "impl/storage/Problems.h"
#include <cstring>
#include <initializer_list>
#include <vector>

namespace kiv {
namespace rep {

namespace PresentationHelpers {

// An editing step that failed on the template's markup, reported as "operation: what".
inline void reportError(Problems& problems, const wchar_t* operation, const MkString& what) {
    problems.error(ProblemCode::TemplateMarkup,
                   lfw::String("%1: %2").arg(lfw::String(MkString(operation))).arg(lfw::String(what)).toStdString());
}

// The format (with one %ls) filled with a.
inline MkString tagText(const wchar_t* format, const MkString& a) {
    MkString s;
    s.MakeFormWide(format, ~a);
    return s;
}

// The text after the last "/".
inline MkString fileNameOf(const MkString& path) {
    const int last = path.Find(L'/', -1, false);
    return last < 0 ? path : path.Mid(last + 1);
}

inline bool endsWith(const MkString& text, const wchar_t* end) { return text.EndsWith(end); }

// A DTD has no place in a package part: the parts the report writes go without one.
inline void dropDoctype(XmlDocument* document) {
    for (TiXmlNode* node = document ? document->FirstChild() : nullptr; node;) {
        TiXmlNode* next = node->NextSibling();
        if (node->ToUnknown() && std::strncmp(node->Value(), "!DOCTYPE", 8) == 0) document->RemoveChild(node);
        node = next;
    }
}

// The ids of the relationships of these kinds (type endings) in order.
inline std::vector<MkString> idsOf(const OpenXMLRelationships& rels, std::initializer_list<const wchar_t*> kinds) {
    std::vector<MkString> ids;
    for (int i = 0; i < rels.Count(); ++i)
        for (const wchar_t* kind : kinds)
            if (!rels.At(i).external && endsWith(rels.At(i).type, kind)) ids.push_back(rels.At(i).id);
    return ids;
}

}  // namespace PresentationHelpers

}  // namespace rep
}  // namespace kiv
