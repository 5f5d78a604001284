#include "web/page_layout.h"

#include <algorithm>
#include <cstdio>

#include "chart/value_texts.h"
#include "comm/monitor_layout.h"
#include "hub/hub_schema.h"
#include "hub/hub_types.h"
#include "web/json_out.h"

namespace orlix::web {
namespace {

void rect(JsonOut& j, const char* name, const TwipsRect& r) {
    j.key(name).beginArray();
    j.integer(twipsToPixels(r.left)).integer(twipsToPixels(r.top));
    j.integer(twipsToPixels(r.width)).integer(twipsToPixels(r.height));
    j.endArray();
}

void monitorPart(JsonOut& j) {
    j.key("size").beginArray().integer(twipsToPixels(kDesignWidthTwips)).integer(twipsToPixels(kDesignHeightTwips));
    j.endArray();
    j.key("panels").beginArray();
    for (const PanelLayout& p : panelLayouts()) {
        j.beginObject().field("caption", p.caption).field("colour", colourText(p.captionColour));
        rect(j, "rect", p.rect);
        j.endObject();
    }
    j.endArray();
    j.key("fields").beginArray();
    for (const FieldLayout& f : fieldLayouts()) {
        j.beginObject().field("index", f.index).field("caption", f.caption).field("panel", f.panel);
        rect(j, "label", f.caption_rect);
        rect(j, "field", f.field_rect);
        if (f.index == kHiddenUnderField) j.field("hidden", true);
        j.endObject();
    }
    j.endArray();
}

void chartPart(JsonOut& j) {
    j.key("charts").beginArray();
    for (int c = 0; c < kChartCount; ++c) {
        j.beginObject().field("name", kChartNames[static_cast<std::size_t>(c)]).key("curves").beginArray();
        for (const Curve* curve : chartCurves(c)) {
            const CurveLine line = curveLine(*curve);
            j.beginObject().field("value", curve->valueIndex).field("column", hub::valueColumn(curve->valueIndex));
            j.field("label", slotLabel(curve->slot)).field("colour", colourText(curve->colour));
            j.field("unit", curve->unit).key("a").num(line.a).key("b").num(line.b).endObject();
        }
        j.endArray().endObject();
    }
    j.endArray();
    j.key("errorLists").beginArray();
    for (const char* name : kErrorListNames) j.str(name);
    j.endArray();
    j.key("columns").beginArray();
    for (int i = 0; i < hub::kValueCount; ++i) j.str(hub::valueColumn(i));
    j.endArray();
}

}  // namespace

std::vector<const Curve*> chartCurves(int chart) {
    std::vector<const Curve*> out;
    for (const Curve& c : kCurves)
        if (unitOfValue(c.valueIndex) == chart) out.push_back(&c);
    return out;
}

const std::vector<int>& chartedValues() {
    static const std::vector<int> values = [] {
        std::vector<int> v;
        for (const Curve& c : kCurves) v.push_back(c.valueIndex);
        std::sort(v.begin(), v.end());
        return v;
    }();
    return values;
}

CurveLine curveLine(const Curve& c) {
    // Two points of the table's own function, far enough apart that the
    // slave pressure's rounding does not show.
    constexpr std::int32_t kSpan = 1000;
    const double h0 = 400.0 - curveY(c, 0, 1.0f, 0).value_or(400.0);
    const double h1 = 400.0 - curveY(c, kSpan, 1.0f, 0).value_or(400.0);
    return {(h1 - h0) / kSpan, h0};
}

std::string readoutText(int k, std::int32_t v) {
    const ValueCells cells = valueTexts(k, v, TextMode::Readout);
    if (cells.count == 0) return std::to_string(v);
    return std::string(cells.cells[0].text());
}

std::string colourText(Rgb c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c.r, c.g, c.b);
    return text;
}

const std::string& layoutJson() {
    static const std::string json = [] {
        JsonOut j;
        j.beginObject();
        monitorPart(j);
        chartPart(j);
        j.endObject();
        return j.take();
    }();
    return json;
}

}  // namespace orlix::web
