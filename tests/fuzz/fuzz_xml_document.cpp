// Fuzz target: any bytes as an XML document. Parsing must end without crashing
// or reading out of bounds, and the nesting check made before parsing must
// find exactly the nesting TinyXML's parser builds: where they disagreed, deep
// nesting slipped past the check into the recursive parser.
#include "impl/storage/XmlDocument.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <tinyxml.h>
#include <vector>

using namespace kiv::rep;  // the layers' classes

namespace {

int treeDepth(const TiXmlNode* root) {
    int deepest = 0;
    std::vector<std::pair<const TiXmlNode*, int>> stack{{root, 0}};
    while (!stack.empty()) {
        const auto [node, depth] = stack.back();
        stack.pop_back();
        for (const TiXmlNode* child = node->FirstChild(); child; child = child->NextSibling()) {
            const int d = child->ToElement() ? depth + 1 : depth;
            if (d > deepest) deepest = d;
            stack.push_back({child, d});
        }
    }
    return deepest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TiXmlBase::SetCondenseWhiteSpace(size > 0 && (data[0] & 1));
    const std::string text(reinterpret_cast<const char*>(data), size);

    XmlDocument document;
    if (document.parseText(text.c_str())) (void)document.printToString();

    // Shallow enough for the recursive parser whatever the check says: compare.
    const int walked = XmlDocument::parseNestingDepth(text.data(), text.size());
    if (walked <= 200) {
        std::string padded = text.c_str();  // TinyXML reads up to the first zero byte
        padded.append(16, '\0');
        TiXmlDocument raw;
        raw.Parse(padded.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
        if (treeDepth(&raw) != walked) __builtin_trap();
    }
    return 0;
}
