#pragma once
// Text markers turned into tagged content controls, so that a Word template
// can be written in any editor that saves .docx (LibreOffice Writer, online
// editors), none of which can give a content control a tag.
//
// A marker is a tag name in braces, typed anywhere in the text: "{SIT1_TITLE}",
// "{SIT_PICTURE}", "{SIT2_$DATABASE_NAME}". Editors split typed text into runs
// as they please ("{SIT1_" plain, "$CASE" bold, "_NAME}" plain); a marker is
// found in the text of a paragraph whatever runs hold it. "{GROUP}" or
// "{GROUP name}" and "{/GROUP}", each alone in its paragraph, enclose the
// content of a group. What each marker becomes:
//
// - titles, texts, field values: a control holding the tag name, in the
//   marker's place, with the formatting of the marker's first run; a control
//   around the whole paragraph when the marker is its only text;
// - pictures: a picture control around the picture in the marker's paragraph,
//   or in the paragraph just after or before a marker that stands alone;
//   without one, around a placeholder picture of 4 x 3 inches;
// - tables: a control around the table just after (or before) the marker's
//   paragraph, or around a new one-cell table in its place;
// - charts: a control around the chart in or next to the marker's paragraph.
//
// Markers in headers, footers, footnotes and endnotes become controls too;
// groups are made in the body only. A marker that cannot become a control is
// left as written, with a warning saying why.
#include "impl/openxml/OpenXMLPackage.h"
#include <string>
#include <vector>

namespace kiv {
namespace rep {

struct WordMarkerResult {
    int controls = 0;                   // tag controls made
    int groups = 0;                     // groups made
    std::vector<std::string> warnings;  // markers left as written, one line each
};

// Converts the markers of a Word package's document part and the parts it
// relates (headers, footers, footnotes, endnotes). False, with *error saying
// why, when the package is no Word document or its group markers do not pair
// up; the package may then be partly changed and must not be saved.
bool convertWordMarkers(OpenXMLPackage& package, WordMarkerResult* result, std::string* error);

}  // namespace rep
}  // namespace kiv
