// A dialog template built in memory, for the stand-in's own file dialogs.
#ifndef STANDIN_DIALOG_TEMPLATE_H
#define STANDIN_DIALOG_TEMPLATE_H

#include <windows.h>

#include <cstddef>
#include <vector>

namespace standin {

// Builds a DLGTEMPLATE with its items in memory. Strings in a template are
// always UTF-16, even for the ANSI dialog functions, so the ANSI texts given
// here (a system dialog's title may hold any letter of the system's code
// page) are converted from the ANSI code page.
class TemplateBuilder {
public:
    TemplateBuilder(const char* title, DWORD style, short cx, short cy)
    {
        DWORD exStyle = 0;
        PushDword(style);
        PushDword(exStyle);
        countIndex_ = words_.size();
        words_.push_back(0); // item count, filled in by AddItem
        words_.push_back(0); // x
        words_.push_back(0); // y
        words_.push_back(static_cast<WORD>(cx));
        words_.push_back(static_cast<WORD>(cy));
        words_.push_back(0); // no menu
        words_.push_back(0); // standard dialog class
        PushString(title);
        words_.push_back(8); // DS_SETFONT: point size and face
        PushString("MS Shell Dlg");
    }

    // classAtom: 0x80 button, 0x81 edit, 0x82 static, 0x83 list box.
    void AddItem(WORD classAtom, const char* text, WORD id, DWORD style, short x, short y, short cx, short cy)
    {
        if (words_.size() % 2)
            words_.push_back(0); // items start on a DWORD boundary
        PushDword(style | WS_CHILD | WS_VISIBLE);
        PushDword(0);
        words_.push_back(static_cast<WORD>(x));
        words_.push_back(static_cast<WORD>(y));
        words_.push_back(static_cast<WORD>(cx));
        words_.push_back(static_cast<WORD>(cy));
        words_.push_back(id);
        words_.push_back(0xFFFF);
        words_.push_back(classAtom);
        PushString(text);
        words_.push_back(0); // no creation data
        ++words_[countIndex_];
    }

    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void PushDword(DWORD v)
    {
        words_.push_back(LOWORD(v));
        words_.push_back(HIWORD(v));
    }
    void PushString(const char* s)
    {
        const int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0); // with the terminator
        if (n <= 1) {
            words_.push_back(0);
            return;
        }
        std::vector<wchar_t> wide(static_cast<std::size_t>(n));
        MultiByteToWideChar(CP_ACP, 0, s, -1, wide.data(), n);
        for (wchar_t c : wide)
            words_.push_back(static_cast<WORD>(c));
    }

    std::vector<WORD> words_; // operator new aligns it well beyond a DWORD
    std::size_t countIndex_ = 0;
};

} // namespace standin

#endif
