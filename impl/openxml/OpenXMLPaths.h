#pragma once
// Path helpers of the package layer. Part names have one form, as stored: "/"
// separators and no leading "/" (ppt/slides/slide1.xml); a "\" in a name given
// is taken for "/". Relationship targets resolve to part names.
#include "host/ug/MkString.h"

namespace kiv {
namespace rep {

namespace OpenXMLPaths {

// Every "\" made "/".
MkString ToSlash(const MkString& path);
// %XX sequences decoded as UTF-8 bytes; an invalid sequence is kept as it is.
MkString PercentDecode(const MkString& text);
// A part name of any path form.
MkString PartName(const MkString& path);
// The part name a relationship target names, relative to the folder of
// sourcePart (empty sourcePart: the package root) or absolute when it starts with
// "/". Empty for an empty or external target (one with a scheme such as http:) and
// for a target whose ".." segments climb above the package root.
MkString ResolvePartName(const MkString& sourcePart, const MkString& target);
// The target that names part `partName` from `sourcePart` (empty: the package
// root): relative to the source's folder, with "%", "#", blanks and control
// characters percent-encoded, so that ResolvePartName gives the part back.
MkString RelativeTarget(const MkString& sourcePart, const MkString& partName);
// The relationships part of a part (ppt/slides/_rels/slide1.xml.rels; empty
// part: _rels/.rels), and back: false when `relsPart` is not one.
MkString RelsPartName(const MkString& partName);
bool RelsSourceName(const MkString& relsPart, MkString* partName);

}  // namespace OpenXMLPaths

}  // namespace rep
}  // namespace kiv
