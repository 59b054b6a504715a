// Everything Tolvane relies on of Neat Image, in one place: window classes
// and titles, menu captions, dialog captions and controls, the progress title,
// and the pacing of the automation.
#pragma once

#include <windows.h>

#include <cstddef>

// Capacity, terminator included, of every read of one of Neat Image's texts.
constexpr int TEXT_MAX = 255;

// Pause after each step and between polls, and polls before a wait fails. A
// test build may shorten the pause at compile time; the product never reads a
// setting at run time.
#ifndef TOLVANE_PAUSE_MS
#define TOLVANE_PAUSE_MS 1000
#endif
constexpr DWORD PAUSE_MS = TOLVANE_PAUSE_MS;
constexpr int WAIT_TRIES = 60;

// Top-level windows, matched by case-sensitive prefix.
constexpr char kTargetTitlePrefix[] = "Neat Image";
constexpr char kMainClassPrefix[] = "TForm1";
constexpr char kAppClassPrefix[] = "TApplication";

// File dialogs, matched exactly, and their controls.
constexpr char kFileDialogClass[] = "#32770";
constexpr char kOpenDialogTitle[] = "Open";
constexpr char kSaveAsDialogTitle[] = "Save As";
constexpr char kEditClass[] = "Edit";
constexpr char kButtonClass[] = "Button";
constexpr char kOpenButtonText[] = "&Open";
constexpr char kSaveButtonText[] = "&Save";
// The system's Explorer-style file dialog keeps its file name box inside a
// "ComboBoxEx32" with this id, or, in older layouts, as the edit with the
// second.
constexpr int kFileNameComboId = 1148;
constexpr int kFileNameEditId = 1152;

// JPEG options window.
constexpr char kJpegOptionsClass[] = "TSaveJPEGform";
constexpr char kJpegOptionsTitle[] = "JPEG Save Options";
constexpr char kJpegOkClass[] = "TBitBtn";
constexpr char kJpegOkText[] = "OK";

// Progress window, shown while the filter runs; its title carries the percent.
constexpr char kProgressClass[] = "TCalcForm";

// Menu captions, "&" markers and dots exactly as the menu holds them.
constexpr char kMenuImage[] = "&Image";
constexpr char kMenuProfile[] = "&Profile";
constexpr char kMenuFilter[] = "&Filter";
constexpr char kItemOpen[] = "&Open...";
constexpr char kItemSaveAs[] = "Save &as...";
constexpr char kItemApply[] = "&Apply";
