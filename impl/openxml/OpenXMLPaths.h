#pragma once
// Path helpers of the package layer. Part names have one form, as stored: "/"
// separators and no leading "/" (ppt/slides/slide1.xml); a "\" in a name given
// is taken for "/". Relationship targets resolve to part names. Names are UTF-8.
#include <string>

namespace kiv {
namespace rep {

namespace OpenXMLPaths {

// Every "\" made "/".
std::string toSlash(std::string path);
// %XX sequences decoded as UTF-8 bytes; an invalid sequence is kept as it is,
// and decoded bytes that are not UTF-8 become U+FFFD.
std::string percentDecode(const std::string& text);
// A part name of any path form.
std::string partNameOf(const std::string& path);
// The part name a relationship target names, relative to the folder of
// sourcePart (empty sourcePart: the package root) or absolute when it starts with
// "/". Empty for an empty or external target (one with a scheme such as http:) and
// for a target whose ".." segments climb above the package root.
std::string resolvePartName(const std::string& sourcePart, const std::string& target);
// The target that names part `partName` from `sourcePart` (empty: the package
// root): relative to the source's folder, with "%", "#", blanks and control
// characters percent-encoded, so that resolvePartName gives the part back.
std::string relativeTarget(const std::string& sourcePart, const std::string& partName);
// The relationships part of a part (ppt/slides/_rels/slide1.xml.rels; empty
// part: _rels/.rels), and back: false when `relsPart` is not one.
std::string relsPartName(const std::string& partName);
bool relsSourceName(const std::string& relsPart, std::string* partName);

}  // namespace OpenXMLPaths

}  // namespace rep
}  // namespace kiv
