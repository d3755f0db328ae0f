#include "desktop/model/engine_client.hpp"

#include <cstdio>
#include <functional>
#include <new>
#include <vector>

#include "desktop/model/colour.hpp"
#include "desktop/model/number_text.hpp"
#include "tavrix/members.hpp"

namespace folvane {
namespace {

int32_t dispid(std::string_view name) {
    const tavrix::PropertyInfo* info = tavrix::findProperty(name);
    return info ? info->dispid : -1;
}

int32_t flag(bool on) {
    return on ? 1 : 0;
}

} // namespace

std::string errorText(HResult hr, EngineRuntime& runtime) {
    if (auto text = runtime.systemMessage(hr)) {
        if (text->size() >= 2 && text->compare(text->size() - 2, 2, "\r\n") == 0)
            text->resize(text->size() - 2);
        else if (!text->empty() && text->back() == '\n')
            text->pop_back();
        return *text;
    }
    const uint32_t code = static_cast<uint32_t>(hr);
    char buf[64];
    if (code > 0x80040200u && code <= 0x8004FFFFu)
        std::snprintf(buf, sizeof buf, "IDispatch error #%d", static_cast<int>(code - 0x80040200u));
    else
        std::snprintf(buf, sizeof buf, "Unknown error 0x%0lX", static_cast<unsigned long>(code));
    return buf;
}

EngineClient::EngineClient(EngineRuntime& runtime, Platform& platform,
                           const TokenExpander& expander)
    : runtime_(runtime), platform_(platform), expander_(expander) {}

EngineClient::~EngineClient() {
    close(true);
}

void EngineClient::report(HResult hr) {
    platform_.showMessage(errorText(hr, runtime_));
}

bool EngineClient::open() {
    HResult hr = runtime_.initialize();
    if (failed(hr)) {
        report(hr);
        return false;
    }
    runtimeUp_ = true;
    hr = runtime_.createEngine(engine_);
    if (hr == kNoInterface) {
        engine_.reset();
        return true;
    }
    if (failed(hr)) {
        engine_.reset();
        report(hr);
        runtime_.uninitialize();
        runtimeUp_ = false;
        return false;
    }
    return true;
}

void EngineClient::applyText(PageParameters& p) {
    storeShownPosition(p);
    if (p.inputPath.empty()) {
        platform_.showMessage("No input filename specified");
        return;
    }
    if (p.outputPath.empty()) {
        platform_.showMessage("No output filename specified");
        return;
    }

    std::string prefix, sep, end;
    try {
        prefix = expander_.expand(p.prefixText, p.inputPath);
        sep = expander_.expand(p.separatorText, p.inputPath);
        end = expander_.expand(p.endText, p.inputPath);
    } catch (const std::bad_alloc&) {
        report(kOutOfMemory);
        return;
    }

    const PositionSet& at = p.shown;
    // The CMYK colour is sent only while "Use CMYK" is on: the engine prefers a non-zero
    // CMYKcolor over color, and an earlier CMYK choice must not override the colour shown.
    const int32_t cmyk = p.useCmyk ? engineCmyk(Cmyk{p.cmykC, p.cmykM, p.cmykY, p.cmykK}) : 0;
    const char* align = at.alignLeft     ? "left"
                        : at.alignRight  ? "right"
                        : at.alignCenter ? "center"
                                         : nullptr;

    // The fixed order of assignments; the first failure ends the run.
    using Step = std::function<HResult(EngineInstance&)>;
    auto putLong = [](const char* name, int32_t v) -> Step {
        return [name, v](EngineInstance& e) { return e.putLong(dispid(name), v); };
    };
    auto putText = [](const char* name, const std::string& v) -> Step {
        return [name, v](EngineInstance& e) { return e.putText(dispid(name), v); };
    };
    std::vector<Step> steps{
        putLong("startPage", p.firstPage),
        putLong("endPage", p.lastPage),
        putLong("startNumber", p.firstNumber),
        putLong("endNumber", p.lastNumber),
        putLong("mask", p.maskDigits),
        putLong("nth", p.nth),
        putLong("onePageNo", flag(p.onePageNumberOnly)),
        putLong("seq", flag(p.sequential)),
        putLong("up2", flag(p.twoUp)),
        putLong("ab2", flag(p.abTwoUp)),
        putLong("nopg", flag(p.noPageNumbers)),
        putLong("romUpper", flag(p.romanUpper)),
        putLong("rom", flag(p.romanLower)),
        putLong("noforce", flag(!p.forcePortrait)),
        putLong("reverse", flag(p.reverse)),
        putText("font", p.fontName),
        putLong("fontSize", truncateToInt32(p.fontSize)),
        putLong("fontAngle", p.angleDegrees),
        putLong("opacity", p.opacityPercent),
        putLong("color", engineRgb(p.textColor)),
        putLong("CMYKcolor", cmyk),
        putLong("fliph", flag(at.fromRight)),
        putLong("flipv", flag(at.fromTop)),
        putLong("posv", truncateToInt32(at.vertical)),
        putLong("posh", truncateToInt32(at.horizontal)),
        putText("prefix", prefix),
        putText("sep", sep),
        putText("end", end),
    };
    if (align) steps.push_back(putText("align", align));

    for (const Step& step : steps) {
        const HResult hr = engine_ ? step(*engine_) : kInvalidPointer;
        if (failed(hr)) {
            report(hr);
            return;
        }
    }

    std::string result;
    const HResult hr = engine_->getTavrixFile(p.inputPath, p.outputPath, "", result);
    if (failed(hr)) {
        report(hr);
        return;
    }
    platform_.showMessage("Done!\n\nOutput file: " + p.outputPath + "\n\n" + result,
                          kProgramCaption, Buttons::Ok);
}

void EngineClient::close(bool shutDownRuntime) {
    engine_.reset();
    if (shutDownRuntime && runtimeUp_) {
        runtime_.uninitialize();
        runtimeUp_ = false;
    }
}

} // namespace folvane
