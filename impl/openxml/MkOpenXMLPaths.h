#pragma once
// Path helpers of the package layer: internal ("\") and stored ("/") forms, and
// resolution of relationship targets to part names.
#include "host/ug/MkString.h"

namespace MkOpenXMLPaths {

// Every "/" made "\" (the internal form), or every "\" made "/".
MkString ToInternal(const MkString& path);
MkString ToSlash(const MkString& path);
// %XX sequences decoded as UTF-8 bytes; an invalid sequence is kept as it is.
MkString PercentDecode(const MkString& text);
// The internal part name a relationship target names, relative to the folder of
// sourcePart (empty sourcePart: the package root) or absolute when it starts with
// "/". Empty for an empty or external target (one with a scheme such as http:) and
// for a target whose ".." segments climb above the package root.
MkString ResolvePartTarget(const MkString& sourcePart, const MkString& target);

} // namespace MkOpenXMLPaths
