// Chart parts filled from tables: the kinds a table can fill, the series of
// each chart group with their caches and formulas, titles.
#include "impl/openxml/ChartData.h"
#include "impl/openxml/ChartSheet.h"
#include "impl/common/HostText.h"
#include "impl/storage/XmlDocument.h"
#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace kiv {
namespace rep {

ChartData::ChartData(const kiv::rep::Table& table)
    : m_table(&table), m_xAxisTitle(toUtf8(table.chartXAxisTitle())), m_yAxisTitle(toUtf8(table.chartYAxisTitle())) {}

std::string ChartData::getColumnIdFromIndex(int index) {
    if (index < 0) return std::string();
    std::string name;
    long long n = static_cast<long long>(index) + 1;
    while (n > 0) {
        --n;
        name.insert(name.begin(), static_cast<char>('A' + n % 26));
        n /= 26;
    }
    return std::string(std::move(name));
}

namespace {

// How a series takes its data: categories and values, x and y values, or x and y
// values and bubble sizes.
enum Layout { CATEGORIES, XY, BUBBLES };

// The children of a series of each kind, in the order the schema requires.
const char* const BAR_SERIES[] = {"c:idx",
                                  "c:order",
                                  "c:tx",
                                  "c:spPr",
                                  "c:invertIfNegative",
                                  "c:pictureOptions",
                                  "c:dPt",
                                  "c:dLbls",
                                  "c:trendline",
                                  "c:errBars",
                                  "c:cat",
                                  "c:val",
                                  "c:shape",
                                  "c:extLst",
                                  nullptr};
const char* const LINE_SERIES[] = {"c:idx",       "c:order",   "c:tx",  "c:spPr", "c:marker", "c:dPt",    "c:dLbls",
                                   "c:trendline", "c:errBars", "c:cat", "c:val",  "c:smooth", "c:extLst", nullptr};
const char* const AREA_SERIES[] = {"c:idx",       "c:order",   "c:tx",  "c:spPr", "c:pictureOptions", "c:dPt", "c:dLbls",
                                   "c:trendline", "c:errBars", "c:cat", "c:val",  "c:extLst",         nullptr};
const char* const PIE_SERIES[] = {"c:idx",   "c:order", "c:tx",  "c:spPr",   "c:explosion", "c:dPt",
                                  "c:dLbls", "c:cat",   "c:val", "c:extLst", nullptr};
const char* const RADAR_SERIES[] = {"c:idx",   "c:order", "c:tx",  "c:spPr",   "c:marker", "c:dPt",
                                    "c:dLbls", "c:cat",   "c:val", "c:extLst", nullptr};
const char* const SCATTER_SERIES[] = {"c:idx",       "c:order",   "c:tx",   "c:spPr", "c:marker", "c:dPt",    "c:dLbls",
                                      "c:trendline", "c:errBars", "c:xVal", "c:yVal", "c:smooth", "c:extLst", nullptr};
const char* const BUBBLE_SERIES[] = {"c:idx",  "c:order",      "c:tx",        "c:spPr",    "c:invertIfNegative",
                                     "c:dPt",  "c:dLbls",      "c:trendline", "c:errBars", "c:xVal",
                                     "c:yVal", "c:bubbleSize", "c:bubble3D",  "c:extLst",  nullptr};

struct Kind {
    const char* element;
    const char* name;
    const char* const* series;  // null: a table cannot fill it
    Layout layout;
    bool single;  // one series only: the first value column
    bool lines;   // a series is drawn as a line: the line's colour is the series'
};
const Kind KINDS[] = {
    {"c:barChart", "bar", BAR_SERIES, CATEGORIES, false, false},
    {"c:bar3DChart", "3D bar", BAR_SERIES, CATEGORIES, false, false},
    {"c:lineChart", "line", LINE_SERIES, CATEGORIES, false, true},
    {"c:line3DChart", "3D line", LINE_SERIES, CATEGORIES, false, true},
    {"c:areaChart", "area", AREA_SERIES, CATEGORIES, false, false},
    {"c:area3DChart", "3D area", AREA_SERIES, CATEGORIES, false, false},
    {"c:pieChart", "pie", PIE_SERIES, CATEGORIES, true, false},
    {"c:pie3DChart", "3D pie", PIE_SERIES, CATEGORIES, true, false},
    {"c:doughnutChart", "doughnut", PIE_SERIES, CATEGORIES, true, false},
    {"c:radarChart", "radar", RADAR_SERIES, CATEGORIES, false, true},
    {"c:scatterChart", "scatter", SCATTER_SERIES, XY, false, true},
    {"c:bubbleChart", "bubble", BUBBLE_SERIES, BUBBLES, false, false},
    {"c:stockChart", "stock", nullptr, CATEGORIES, false, false},
    {"c:surfaceChart", "surface", nullptr, CATEGORIES, false, false},
    {"c:surface3DChart", "3D surface", nullptr, CATEGORIES, false, false},
    {"c:ofPieChart", "pie of pie", nullptr, CATEGORIES, false, false},
};
const Kind UNKNOWN_KIND = {"", "", nullptr, CATEGORIES, false, false};

// Children of a plot area that are not chart groups.
const char* const NOT_GROUPS[] = {"c:layout", "c:catAx", "c:valAx", "c:dateAx", "c:serAx", "c:dTable", "c:spPr", "c:extLst"};
// Children of a chart group that follow its series.
const char* const AFTER_SERIES[] = {"c:dLbls",      "c:gapWidth",   "c:overlap",     "c:serLines",       "c:dropLines",
                                    "c:hiLowLines", "c:upDownBars", "c:marker",      "c:smooth",         "c:firstSliceAng",
                                    "c:holeSize",   "c:bubble3D",   "c:bubbleScale", "c:showNegBubbles", "c:sizeRepresents",
                                    "c:gapDepth",   "c:shape",      "c:axId",        "c:extLst"};

bool named(const TiXmlElement* e, const char* name) { return e && std::strcmp(e->Value(), name) == 0; }

template <size_t N>
bool oneOf(const TiXmlElement* e, const char* const (&names)[N]) {
    for (const char* name : names)
        if (named(e, name)) return true;
    return false;
}

struct Group {
    TiXmlElement* element;
    const Kind* kind;
    std::string name;  // "column", "3D bar", "stock", "funnel"
    size_t had;        // series of the template
};

TiXmlElement* plotAreaOf(const XmlDocument& chart) {
    TiXmlElement* root = const_cast<XmlDocument&>(chart).RootElement();
    TiXmlElement* c = root ? root->FirstChildElement("c:chart") : nullptr;
    return c ? c->FirstChildElement("c:plotArea") : nullptr;
}

std::vector<Group> groupsOf(const XmlDocument& chart) {
    std::vector<Group> groups;
    TiXmlElement* plotArea = plotAreaOf(chart);
    for (TiXmlElement* e = plotArea ? plotArea->FirstChildElement() : nullptr; e; e = e->NextSiblingElement()) {
        if (oneOf(e, NOT_GROUPS)) continue;
        Group g{e, &UNKNOWN_KIND, std::string(), 0};
        for (const Kind& k : KINDS)
            if (named(e, k.element)) g.kind = &k;
        g.name = g.kind->name;
        if (g.kind == &UNKNOWN_KIND) {
            // A name of its own: c:funnelChart is a "funnel" chart.
            g.name = e->Value();
            if (g.name.compare(0, 2, "c:") == 0) g.name.erase(0, 2);
            if (g.name.size() > 5 && g.name.compare(g.name.size() - 5, 5, "Chart") == 0) g.name.resize(g.name.size() - 5);
        }
        const TiXmlElement* dir = e->FirstChildElement("c:barDir");
        if ((named(e, "c:barChart") || named(e, "c:bar3DChart")) && dir && dir->Attribute("val") &&
            std::strcmp(dir->Attribute("val"), "col") == 0)
            g.name.replace(g.name.size() - 3, 3, "column");
        for (const TiXmlElement* s = e->FirstChildElement("c:ser"); s; s = s->NextSiblingElement("c:ser")) ++g.had;
        groups.push_back(g);
    }
    return groups;
}

std::string text(const std::string& utf8) { return std::string(utf8.c_str()); }

// The columns of the series each group takes: a value column each, and for
// bubbles the sizes in the column after it. Groups take the table's series in
// order, each as many as the template gave it and the last one the rest; a pie
// or doughnut shows one series.
struct Series {
    size_t values, sizes;
};
bool planSeries(const std::vector<Group>& groups, size_t columns, std::vector<std::vector<Series>>* plan, std::string* why) {
    size_t next = 1;
    plan->assign(groups.size(), std::vector<Series>());
    for (size_t g = 0; g < groups.size(); ++g) {
        const Kind& kind = *groups[g].kind;
        const size_t wanted = kind.single ? 1 : g + 1 == groups.size() ? std::numeric_limits<size_t>::max() : groups[g].had;
        while ((*plan)[g].size() < wanted && next < columns) {
            if (kind.layout != BUBBLES) {
                (*plan)[g].push_back(Series{next++, 0});
                continue;
            }
            if (next + 1 >= columns) {
                *why = "a bubble chart takes a value column and a size column per series: column " + std::to_string(next) +
                       " has no size column after it";
                return false;
            }
            (*plan)[g].push_back(Series{next, next + 1});
            next += 2;
        }
    }
    return true;
}

std::string refusal(const std::vector<Group>& groups, const ChartSheet* table, std::vector<std::vector<Series>>* plan) {
    if (groups.empty()) return std::string("the chart part holds no chart");
    for (const Group& g : groups)
        if (!g.kind->series) return "a " + text(g.name) + " chart cannot be filled from a table";
    if (!table) return std::string();
    if (table->rows() < 2 || table->columns() < 2)
        return std::string(
            "the table has no values to draw: a chart needs a header row, a data row and a value column "
            "beside column 0");
    for (const Group& g : groups) {
        if (g.kind->layout == CATEGORIES) continue;
        for (size_t i = 1; i < table->rows(); ++i)
            if (!table->isNumber(i, 0))
                return "column 0 must hold numbers for a " + text(g.name) + " chart, row " + std::to_string(i) + " holds '" +
                       text(table->at(i, 0)) + "'";
    }
    std::string why;
    std::vector<std::vector<Series>> scratch;
    planSeries(groups, table->columns(), plan ? plan : &scratch, &why);
    return why;
}

// --- building elements

TiXmlElement* add(TiXmlElement* parent, const char* name, const std::string& value = std::string()) {
    TiXmlElement* e = parent->LinkEndChild(new TiXmlElement(name))->ToElement();
    if (!value.empty()) e->LinkEndChild(new TiXmlText(value));
    return e;
}
TiXmlElement* addVal(TiXmlElement* parent, const char* name, size_t value) {
    TiXmlElement* e = add(parent, name);
    e->SetAttribute("val", static_cast<int>(value));
    return e;
}

int rankOf(const char* name, const char* const* order) {
    for (int i = 0; order[i]; ++i)
        if (std::strcmp(order[i], name) == 0) return i;
    return -1;
}

// The child `name` of a series emptied, or added where the schema puts it.
TiXmlElement* slot(TiXmlElement* series, const char* name, const char* const* order) {
    if (TiXmlElement* e = series->FirstChildElement(name)) {
        e->Clear();
        return e;
    }
    const int rank = rankOf(name, order);
    for (TiXmlElement* c = series->FirstChildElement(); c; c = c->NextSiblingElement())
        if (rankOf(c->Value(), order) > rank) return series->InsertBeforeChild(c, TiXmlElement(name))->ToElement();
    return add(series, name);
}

// A cache of the cells of a column, rows 1 to the last: numbers (cells that are
// not numbers as 0, empty cells as gaps) or texts.
void addCache(TiXmlElement* ref, const ChartSheet& table, size_t column, bool numbers) {
    TiXmlElement* cache = add(ref, numbers ? "c:numCache" : "c:strCache");
    if (numbers) add(cache, "c:formatCode", "General");
    addVal(cache, "c:ptCount", table.rows() - 1);
    for (size_t i = 1; i < table.rows(); ++i) {
        const std::string& cell = table.at(i, column);
        if (cell.empty()) continue;
        TiXmlElement* pt = add(cache, "c:pt");
        pt->SetAttribute("idx", static_cast<int>(i - 1));
        add(pt, "c:v", !numbers ? cell : table.isNumber(i, column) ? table.numberAt(i, column) : std::string("0"));
    }
}

void addReference(TiXmlElement* parent, const ChartSheet& table, const std::string& sheet, size_t column, bool numbers) {
    TiXmlElement* ref = add(parent, numbers ? "c:numRef" : "c:strRef");
    add(ref, "c:f", chartReference(sheet, column, 2, table.rows()));
    addCache(ref, table, column, numbers);
}

// A copied series takes the next accent colour: theme accents anywhere in its
// look, and the colour of its fill (and of its line, for series drawn as lines).
void recolour(TiXmlElement* series, size_t index, bool lines) {
    const std::string accent = "accent" + std::to_string(index % 6 + 1);
    std::vector<TiXmlElement*> todo{series};
    while (!todo.empty()) {
        TiXmlElement* e = todo.back();
        todo.pop_back();
        const char* val = e->Attribute("val");
        if (named(e, "a:schemeClr") && val && std::strncmp(val, "accent", 6) == 0) e->SetAttribute("val", accent);
        for (TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) todo.push_back(c);
    }
    TiXmlElement* marker = series->FirstChildElement("c:marker");
    for (TiXmlElement* look : {series->FirstChildElement("c:spPr"), marker ? marker->FirstChildElement("c:spPr") : nullptr}) {
        if (!look) continue;
        TiXmlElement* line = look->FirstChildElement("a:ln");
        for (TiXmlElement* fill :
             {look->FirstChildElement("a:solidFill"), line && (lines || look != series->FirstChildElement("c:spPr"))
                                                          ? line->FirstChildElement("a:solidFill")
                                                          : nullptr}) {
            TiXmlElement* colour = fill ? fill->FirstChildElement() : nullptr;
            if (!colour || named(colour, "a:schemeClr")) continue;
            TiXmlElement scheme("a:schemeClr");
            scheme.SetAttribute("val", accent);
            for (const TiXmlElement* t = colour->FirstChildElement(); t; t = t->NextSiblingElement()) scheme.InsertEndChild(*t);
            fill->ReplaceChild(colour, scheme);
        }
    }
}

// Points of the template beyond the table's last go with their look and labels.
void dropPointsFrom(TiXmlElement* series, size_t points) {
    TiXmlElement* labels = series->FirstChildElement("c:dLbls");
    for (TiXmlElement* holder : {series, labels}) {
        for (TiXmlElement* e = holder ? holder->FirstChildElement() : nullptr; e;) {
            TiXmlElement* next = e->NextSiblingElement();
            const TiXmlElement* idx = e->FirstChildElement("c:idx");
            int i = 0;
            if ((named(e, "c:dPt") || named(e, "c:dLbl")) && idx && idx->QueryIntAttribute("val", &i) == TIXML_SUCCESS &&
                i >= static_cast<int>(points))
                holder->RemoveChild(e);
            e = next;
        }
    }
}

void fillSeries(TiXmlElement* ser, const Kind& kind, const Series& columns, size_t index, const ChartSheet& table,
                const std::string& sheet, bool numericCategories) {
    const char* const* order = kind.series;
    slot(ser, "c:idx", order)->SetAttribute("val", static_cast<int>(index));
    slot(ser, "c:order", order)->SetAttribute("val", static_cast<int>(index));
    TiXmlElement* name = add(slot(ser, "c:tx", order), "c:strRef");
    add(name, "c:f", chartReference(sheet, columns.values, 1, 1));
    TiXmlElement* cache = add(name, "c:strCache");
    addVal(cache, "c:ptCount", 1);
    TiXmlElement* pt = add(cache, "c:pt");
    pt->SetAttribute("idx", 0);
    add(pt, "c:v", table.name(columns.values));
    const bool xy = kind.layout != CATEGORIES;
    addReference(slot(ser, xy ? "c:xVal" : "c:cat", order), table, sheet, 0, xy || numericCategories);
    addReference(slot(ser, xy ? "c:yVal" : "c:val", order), table, sheet, columns.values, true);
    if (kind.layout == BUBBLES) addReference(slot(ser, "c:bubbleSize", order), table, sheet, columns.sizes, true);
    dropPointsFrom(ser, table.rows() - 1);
}

// The sheet the chart's formulas name ("Sheet1!$B$1", "'Load cases'!$A$2:$A$5"); empty when none.
std::string sheetOfFormulas(const XmlDocument& chart) {
    std::vector<const TiXmlElement*> todo{chart.RootElement()};
    while (!todo.empty()) {
        const TiXmlElement* e = todo.back();
        todo.pop_back();
        if (!e) continue;
        if (named(e, "c:f") && e->GetText()) {
            const std::string f = e->GetText();
            if (f.empty() || f[0] != '\'') return f.find('!') == std::string::npos ? std::string() : f.substr(0, f.find('!'));
            std::string sheet;
            for (size_t i = 1; i < f.size(); ++i) {
                if (f[i] != '\'') {
                    sheet += f[i];
                } else if (i + 1 < f.size() && f[i + 1] == '\'') {
                    sheet += f[i++];
                } else {
                    return sheet;
                }
            }
            return std::string();
        }
        for (const TiXmlElement* c = e->LastChild() ? e->LastChild()->ToElement() : nullptr; c;
             c = c->PreviousSibling() ? c->PreviousSibling()->ToElement() : nullptr)
            todo.push_back(c);
    }
    return std::string();
}

}  // namespace

bool ChartFill::setTitle(const XmlElement& titleElement, const std::string& text) {
    if (!titleElement) return false;
    // Every a:r below the title, in document order.
    std::vector<XmlElement> runs, stack{titleElement};
    while (!stack.empty()) {
        const XmlElement e = stack.back();
        stack.pop_back();
        if (e != titleElement && e.getName() == std::string("a:r")) runs.push_back(e);
        std::vector<XmlElement> children;
        for (XmlElement c = e.getFirstChildElement(); c; c = c.getNextSiblingElement()) children.push_back(c);
        stack.insert(stack.end(), children.rbegin(), children.rend());
    }
    if (runs.empty()) {
        // c:tx comes first in a title; a text from a cell reference gives way.
        const XmlElement oldTx = titleElement.getFirstChildElement("c:tx");
        if (oldTx) titleElement.removeChildElement(oldTx);
        const XmlElement first = titleElement.getFirstChildElement();
        const XmlElement tx = first ? titleElement.addChildElementBefore(first, "c:tx") : titleElement.addChildElement("c:tx");
        const XmlElement rich = tx.addChildElement("c:rich");
        rich.addChildElement("a:bodyPr");
        rich.addChildElement("a:lstStyle");
        const XmlElement p = rich.addChildElement("a:p");
        p.addChildElement("a:pPr").addChildElement("a:defRPr");
        const XmlElement r = p.addChildElement("a:r");
        r.addChildElement("a:rPr");
        r.addChildElement("a:t", text);
        return static_cast<bool>(p.addChildElement("a:endParaRPr"));
    }
    const XmlElement first = runs.front();
    XmlElement t = first.getFirstChildElement("a:t");
    if (!t) t = first.addChildElement("a:t");
    if (!t.setValue(text)) return false;
    for (XmlElement r = first.getNextSiblingElement("a:r"); r; r = r.getNextSiblingElement("a:r"))
        r.getFirstChildElement("a:t").setValue(std::string());
    return true;
}

std::string ChartFill::kindOf(const XmlDocument& chart) {
    std::vector<std::string> names;
    std::string kind;
    for (const Group& g : groupsOf(chart)) {
        if (std::find(names.begin(), names.end(), g.name) != names.end()) continue;
        kind += (names.empty() ? "" : " and ") + g.name;
        names.push_back(g.name);
    }
    return text(kind);
}

std::string ChartFill::refusal(const XmlDocument& chart, const ChartData* data) {
    if (!data || !data->m_table) return refusal(groupsOf(chart), nullptr, nullptr);
    const ChartSheet table(*data->m_table);
    return refusal(groupsOf(chart), &table, nullptr);
}

bool ChartFill::fill(XmlDocument* chart, const ChartData& data, const std::string& workbook, const std::string& workbookName,
                     std::string* newWorkbook, std::string* why, const std::shared_ptr<XmlMemoryBudget>& budget,
                     std::string* note, Problems* problems) {
    if (!chart || !data.m_table || !newWorkbook) return false;
    std::string reason;
    std::string& out = why ? *why : reason;
    const std::vector<Group> groups = groupsOf(*chart);
    // Column 0 holds categories unless a group takes x values from it.
    bool categories = true;
    for (const Group& g : groups) categories = categories && g.kind->layout == CATEGORIES;
    const ChartSheet table(*data.m_table, categories);
    std::vector<std::vector<Series>> plan;
    out = refusal(groups, &table, &plan);
    if (!out.empty()) return false;
    std::string sheet = sheetOfFormulas(*chart);
    if (!chartWriteWorkbook(workbook, workbookName, table, &sheet, newWorkbook, &out, budget, note, problems)) return false;

    TiXmlElement* chartElement = chart->RootElement()->FirstChildElement("c:chart");
    TiXmlElement* plotArea = chartElement->FirstChildElement("c:plotArea");
    if (TiXmlElement* title = chartElement->FirstChildElement("c:title")) setTitle(XmlElement(title), data.m_title);
    // Axis titles: the first axis (categories, or x values) and the value axis after it.
    const bool xy = groups.front().kind->layout != CATEGORIES;
    TiXmlElement* first = nullptr;
    for (TiXmlElement* e = plotArea->FirstChildElement(); e && !first; e = e->NextSiblingElement())
        if (named(e, "c:valAx") || (!xy && (named(e, "c:catAx") || named(e, "c:dateAx")))) first = e;
    TiXmlElement* value = first ? first->NextSiblingElement("c:valAx") : nullptr;
    if (TiXmlElement* t = first ? first->FirstChildElement("c:title") : nullptr) setTitle(XmlElement(t), data.m_xAxisTitle);
    if (TiXmlElement* t = value ? value->FirstChildElement("c:title") : nullptr) setTitle(XmlElement(t), data.m_yAxisTitle);

    bool numericCategories = true;
    for (size_t i = 1; i < table.rows(); ++i) numericCategories = numericCategories && table.isNumber(i, 0);
    // A date axis shows numbers as dates; text categories need a category axis.
    for (TiXmlElement* e = plotArea->FirstChildElement("c:dateAx"); e && !numericCategories;) {
        TiXmlElement* next = e->NextSiblingElement("c:dateAx");
        e->SetValue("c:catAx");
        for (const char* timing : {"c:baseTimeUnit", "c:majorUnit", "c:majorTimeUnit", "c:minorUnit", "c:minorTimeUnit"})
            while (TiXmlElement* t = e->FirstChildElement(timing)) e->RemoveChild(t);
        e = next;
    }

    size_t index = 0;
    for (size_t g = 0; g < groups.size(); ++g) {
        TiXmlElement* group = groups[g].element;
        std::vector<TiXmlElement*> old;
        for (TiXmlElement* s = group->FirstChildElement("c:ser"); s; s = s->NextSiblingElement("c:ser")) old.push_back(s);
        TiXmlElement* last = old.empty() ? nullptr : old.back();
        for (size_t k = 0; k < plan[g].size(); ++k, ++index) {
            TiXmlElement* ser = k < old.size() ? old[k] : nullptr;
            if (!ser && last) {
                // A copy of the last series, with a colour of its own and no ids of the template's.
                ser = group->InsertAfterChild(last, *last)->ToElement();
                while (TiXmlElement* ext = ser->FirstChildElement("c:extLst")) ser->RemoveChild(ext);
                recolour(ser, index, groups[g].kind->lines);
                last = ser;
            } else if (!ser) {
                TiXmlElement* before = group->FirstChildElement();
                while (before && !oneOf(before, AFTER_SERIES)) before = before->NextSiblingElement();
                ser = before ? group->InsertBeforeChild(before, TiXmlElement("c:ser"))->ToElement() : add(group, "c:ser");
                last = ser;
            }
            fillSeries(ser, *groups[g].kind, plan[g][k], index, table, sheet, numericCategories);
        }
        for (size_t k = plan[g].size(); k < old.size(); ++k) group->RemoveChild(old[k]);
        // Series the template hides (Office 2013 keeps them in an extension) would share numbers with ours.
        if (TiXmlElement* ext = group->FirstChildElement("c:extLst")) {
            for (TiXmlElement* e = ext->FirstChildElement("c:ext"); e;) {
                TiXmlElement* next = e->NextSiblingElement("c:ext");
                const TiXmlElement* inner = e->FirstChildElement();
                if (inner && std::strncmp(inner->Value(), "c15:filtered", 12) == 0) ext->RemoveChild(e);
                e = next;
            }
        }
    }
    return true;
}

}  // namespace rep
}  // namespace kiv
