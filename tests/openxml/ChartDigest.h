#pragma once
// A printed digest of a chart of a package: its chart groups; per series its
// number and, for its name, categories or x values, values and bubble sizes, the
// formula and the cached points; then its workbook's sheet cells, table part and
// shared strings. Charts print alike in both Office formats.
#include "openxml/OpenXmlTestSupport.h"

using namespace kiv::rep;  // the layers' classes

namespace kivtest {

inline std::string chartDigest(const std::string& package, const std::string& chartPart) {
    auto text = [](const TiXmlElement* e) { return std::string(e && e->GetText() ? e->GetText() : ""); };
    auto children = [](const TiXmlElement* e, const char* name) {
        std::vector<const TiXmlElement*> list;
        for (const TiXmlElement* c = e ? e->FirstChildElement(name) : nullptr; c; c = c->NextSiblingElement(name))
            list.push_back(c);
        return list;
    };
    XmlDocument chart, rels, sheet, strings, table;
    chart.parseText(readPart(package, chartPart).c_str());
    const TiXmlElement* plot =
        TiXmlHandle(chart.RootElement()).FirstChildElement("c:chart").FirstChildElement("c:plotArea").ToElement();
    std::string out;
    for (const TiXmlElement* g = plot ? plot->FirstChildElement() : nullptr; g; g = g->NextSiblingElement()) {
        const std::string name = g->Value();
        if (name.size() > 5 && name.compare(name.size() - 5, 5, "Chart") == 0) out += " " + name.substr(2);
        for (const TiXmlElement* s : children(g, "c:ser")) {
            out += "\n  ser " + std::string(s->FirstChildElement("c:idx")->Attribute("val")) + "/" +
                   s->FirstChildElement("c:order")->Attribute("val");
            for (const char* data : {"c:tx", "c:cat", "c:xVal", "c:val", "c:yVal", "c:bubbleSize"}) {
                const TiXmlElement* ref = s->FirstChildElement(data) ? s->FirstChildElement(data)->FirstChildElement() : nullptr;
                if (!ref) continue;
                out += std::string(" ") + (data + 2) + "=" + text(ref->FirstChildElement("c:f")) +
                       (ref->Value()[2] == 'n' ? " n[" : " s[");
                const TiXmlElement* cache = ref->FirstChildElement("c:numCache") ? ref->FirstChildElement("c:numCache")
                                                                                 : ref->FirstChildElement("c:strCache");
                for (const TiXmlElement* pt : children(cache, "c:pt"))
                    out += std::string(pt->Attribute("idx")) + ":" + text(pt->FirstChildElement("c:v")) + " ";
                out += "]";
            }
        }
    }
    // The workbook: the chart's package relationship, beside the charts folder.
    const std::string folder = chartPart.substr(0, chartPart.rfind("/charts/"));
    rels.parseText(readPart(package, folder + "/charts/_rels/" + chartPart.substr(chartPart.rfind('/') + 1) + ".rels").c_str());
    std::string book;
    for (const TiXmlElement* r : children(rels.RootElement(), "Relationship"))
        if (std::string(r->Attribute("Target")).compare(0, 3, "../") == 0)
            book = readPart(package, folder + "/" + (r->Attribute("Target") + 3));
    sheet.parseText(readNestedPart(book, "xl/worksheets/sheet1.xml").c_str());
    strings.parseText(readNestedPart(book, "xl/sharedStrings.xml").c_str());
    table.parseText(readNestedPart(book, "xl/tables/table1.xml").c_str());
    std::vector<std::string> shared;
    for (const TiXmlElement* si : children(strings.RootElement(), "si")) shared.push_back(text(si->FirstChildElement("t")));
    out += "\n  sheet " +
           std::string(TiXmlHandle(sheet.RootElement()).FirstChildElement("dimension").ToElement()->Attribute("ref")) + ":";
    for (const TiXmlElement* row : children(TiXmlHandle(sheet.RootElement()).FirstChildElement("sheetData").ToElement(), "row"))
        for (const TiXmlElement* c : children(row, "c")) {
            const std::string v = text(c->FirstChildElement("v"));
            const bool isString = c->Attribute("t") && std::string(c->Attribute("t")) == "s";
            out += std::string(" ") + c->Attribute("r") + "=" + (isString ? "'" + shared.at(std::stoul(v)) + "'" : v);
        }
    if (const TiXmlElement* t = table.RootElement()) {
        out += "\n  table " + std::string(t->Attribute("ref")) + ":";
        for (const TiXmlElement* c : children(t->FirstChildElement("tableColumns"), "tableColumn"))
            out += std::string(" ") + c->Attribute("name");
    }
    return out + "\n  strings " + std::to_string(shared.size()) + "\n";
}

}  // namespace kivtest
