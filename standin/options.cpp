// Command-line switches of the stand-in application.
#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace standin {
namespace {

const char* const kKindNames[KIND_COUNT] = {"image-open", "profile-open", "save-as", "jpeg-options"};
const char* const kMenuNames[MENU_COUNT] = {"image-open", "profile-open", "filter-apply", "image-saveas"};
const char* const kStepNames[STEP_COUNT] = {"image-open", "profile-open", "filter", "save"};

bool ParseStep(const std::string& s, Step& out)
{
    for (int i = 0; i < STEP_COUNT; ++i) {
        if (s == kStepNames[i]) {
            out = static_cast<Step>(i);
            return true;
        }
    }
    return false;
}

bool ParseKind(const std::string& s, Kind& out)
{
    for (int i = 0; i < KIND_COUNT; ++i) {
        if (s == kKindNames[i]) {
            out = static_cast<Kind>(i);
            return true;
        }
    }
    return false;
}

bool ParseMenuName(const std::string& s, MenuName& out)
{
    for (int i = 0; i < MENU_COUNT; ++i) {
        if (s == kMenuNames[i]) {
            out = static_cast<MenuName>(i);
            return true;
        }
    }
    return false;
}

// Milliseconds: decimal digits only, at most 24 hours.
bool ParseMs(const std::string& s, unsigned& out)
{
    if (s.empty() || s.size() > 9)
        return false;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
    }
    unsigned long v = std::strtoul(s.c_str(), nullptr, 10);
    if (v > 24ul * 3600ul * 1000ul)
        return false;
    out = static_cast<unsigned>(v);
    return true;
}

} // namespace

const char* KindName(Kind kind)
{
    return kind >= 0 && kind < KIND_COUNT ? kKindNames[kind] : "?";
}

const char* MenuNameText(MenuName name)
{
    return name >= 0 && name < MENU_COUNT ? kMenuNames[name] : "?";
}

const char* StepName(Step step)
{
    return step >= 0 && step < STEP_COUNT ? kStepNames[step] : "?";
}

const char* UsageLine()
{
    return "usage: standin [--journal PATH] [--delay KIND MS] [--never KIND] [--wrong-title KIND] [--hidden KIND] "
           "[--no-edit KIND] [--no-button KIND] [--no-menu-item NAME] [--filter-ms MS] [--main-title TEXT] "
           "[--app-title TEXT] [--class-suffix S] [--propose NAME] [--refuse KIND NAME] [--exit-at STEP] "
           "[--box-at STEP TEXT] [--box-only NAME] [--hang-at STEP] [--close-at STEP] [--surprise-only NAME] "
           "[--once FILE] [--no-output NAME] [--confirm-overwrite] [--jpeg-form-hidden] [--system-dialogs] "
           "[--system-titles] [--language en|fr] [--text-box-at STEP TEXT] [--load-ms MS] [--staged-dialog KIND MS] "
           "[--save-ms MS] [--late-name MS] [--start-minimised] [--bare-proposed-name] [--nested-name-box]  "
           "(KIND: image-open|profile-open|save-as|jpeg-options; "
           "NAME: image-open|profile-open|filter-apply|image-saveas; "
           "STEP: image-open|profile-open|filter|save, not profile-open for --box-at and --text-box-at)";
}

bool ParseOptions(const std::vector<std::string>& args, Options& out, std::string& error)
{
    Options o;
    std::size_t i = 0;
    std::string current; // the switch whose arguments are being read
    auto next = [&](std::string& value) -> bool {
        if (i + 1 >= args.size()) {
            error = "missing argument for " + current;
            return false;
        }
        value = args[++i];
        return true;
    };
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        current = a;
        std::string v, w;
        Kind kind;
        if (a == "--journal") {
            if (!next(v))
                return false;
            if (v.empty())
                return error = "empty journal path", false;
            o.journal = v;
        } else if (a == "--delay") {
            if (!next(v) || !next(w))
                return false;
            unsigned ms = 0;
            if (!ParseKind(v, kind))
                return error = "unknown kind: " + v, false;
            if (!ParseMs(w, ms))
                return error = "bad milliseconds: " + w, false;
            o.kind[kind].delayMs = ms;
        } else if (a == "--never" || a == "--wrong-title" || a == "--hidden" || a == "--no-edit" ||
                   a == "--no-button") {
            if (!next(v))
                return false;
            if (!ParseKind(v, kind))
                return error = "unknown kind: " + v, false;
            KindOptions& k = o.kind[kind];
            if (a == "--never")
                k.never = true;
            else if (a == "--wrong-title")
                k.wrongTitle = true;
            else if (a == "--hidden")
                k.hidden = true;
            else if (a == "--no-button")
                k.noButton = true;
            else {
                if (kind == KIND_JPEG_OPTIONS)
                    return error = "--no-edit applies to file dialogs only", false;
                k.noEdit = true;
            }
        } else if (a == "--refuse") {
            if (!next(v) || !next(w))
                return false;
            if (!ParseKind(v, kind))
                return error = "unknown kind: " + v, false;
            if (kind == KIND_JPEG_OPTIONS)
                return error = "--refuse applies to file dialogs only", false;
            if (w.empty())
                return error = "empty file name for --refuse", false;
            o.kind[kind].refuseName = w;
        } else if (a == "--no-menu-item") {
            if (!next(v))
                return false;
            MenuName name;
            if (!ParseMenuName(v, name))
                return error = "unknown menu item: " + v, false;
            o.noMenuItem[name] = true;
        } else if (a == "--staged-dialog") {
            if (!next(v) || !next(w))
                return false;
            unsigned ms = 0;
            if (!ParseKind(v, kind))
                return error = "unknown kind: " + v, false;
            if (kind == KIND_JPEG_OPTIONS)
                return error = "--staged-dialog applies to file dialogs only", false;
            if (!ParseMs(w, ms))
                return error = "bad milliseconds: " + w, false;
            o.kind[kind].stagedMs = ms;
        } else if (a == "--load-ms" || a == "--save-ms" || a == "--late-name") {
            if (!next(v))
                return false;
            unsigned& ms = a == "--load-ms" ? o.loadMs : a == "--save-ms" ? o.saveMs : o.lateNameMs;
            if (!ParseMs(v, ms))
                return error = "bad milliseconds: " + v, false;
        } else if (a == "--filter-ms") {
            if (!next(v))
                return false;
            if (!ParseMs(v, o.filterMs))
                return error = "bad milliseconds: " + v, false;
        } else if (a == "--main-title") {
            if (!next(v))
                return false;
            o.haveMainTitle = true;
            o.mainTitle = v;
        } else if (a == "--app-title") {
            if (!next(v))
                return false;
            o.appTitle = v;
        } else if (a == "--class-suffix") {
            if (!next(v))
                return false;
            if (v.size() > 64)
                return error = "class suffix too long", false;
            o.classSuffix = v;
        } else if (a == "--propose") {
            if (!next(v))
                return false;
            o.havePropose = true;
            o.propose = v;
        } else if (a == "--exit-at") {
            if (!next(v))
                return false;
            Step step;
            if (!ParseStep(v, step))
                return error = "unknown step: " + v, false;
            o.exitAt[step] = true;
        } else if (a == "--hang-at" || a == "--close-at") {
            if (!next(v))
                return false;
            Step step;
            if (!ParseStep(v, step))
                return error = "unknown step: " + v, false;
            (a == "--hang-at" ? o.hangAt : o.closeAt)[step] = true;
        } else if (a == "--surprise-only" || a == "--once") {
            if (!next(v) || v.empty())
                return false;
            (a == "--once" ? o.once : o.surpriseOnly) = v;
        } else if (a == "--box-at") {
            if (!next(v) || !next(w))
                return false;
            Step step;
            if (!ParseStep(v, step) || step == STEP_PROFILE_OPEN)
                return error = "unknown step for --box-at: " + v, false;
            o.boxAt[step] = true;
            o.boxText[step] = w;
        } else if (a == "--text-box-at") {
            if (!next(v) || !next(w))
                return false;
            Step step;
            if (!ParseStep(v, step) || step == STEP_PROFILE_OPEN)
                return error = "unknown step for --text-box-at: " + v, false;
            o.textBoxAt[step] = true;
            o.textBoxText[step] = w;
        } else if (a == "--language") {
            if (!next(v))
                return false;
            if (v != "en" && v != "fr")
                return error = "unknown language: " + v, false;
            o.french = v == "fr";
        } else if (a == "--box-only") {
            if (!next(v) || v.empty())
                return false;
            o.boxOnly = v;
        } else if (a == "--no-output") {
            if (!next(v))
                return false;
            if (v.empty())
                return error = "empty file name for --no-output", false;
            o.noOutput = v;
        } else if (a == "--confirm-overwrite") {
            o.confirmOverwrite = true;
        } else if (a == "--jpeg-form-hidden") {
            o.jpegFormHidden = true;
        } else if (a == "--system-dialogs") {
            o.systemDialogs = true;
        } else if (a == "--system-titles") {
            o.systemTitles = true;
        } else if (a == "--start-minimised") {
            o.startMinimised = true;
        } else if (a == "--bare-proposed-name") {
            o.bareProposedName = true;
        } else if (a == "--nested-name-box") {
            o.nestedNameBox = true;
        } else {
            error = "unknown switch: " + a;
            return false;
        }
    }
    out = o;
    return true;
}

} // namespace standin
