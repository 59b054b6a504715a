// The texts of the watch over Neat Image: plain functions without window
// handles, tested directly and fuzzed natively.
#pragma once

#include <cstddef>

// Capacity, terminator included, of a fatal message that names a box of Neat
// Image's: what the "Error" box has room for besides its fixed words, so that
// the box shows the message whole.
constexpr std::size_t kWatchMessageSize = 202;

// Appends `text` to the text in buf (size bytes, always terminated) with every
// run of white space folded into one blank, no blank at either end, and one
// blank between it and what buf already holds. Stops, cutting the text, when
// buf is full; never writes past it. A null or blank text adds nothing.
void AppendFoldedText(char* buf, std::size_t size, const char* text);

// Formats the fatal message for a box of Neat Image's:
//   Neat Image is showing "<caption>": <texts>
// or, when the box shows no text Tolvane can read, without ": <texts>". The
// caption is folded like the texts. Always terminated within size bytes.
void FormatBoxMessage(char* buf, std::size_t size, const char* caption, const char* texts);

// Reads the caption of a dialog template (DLGTEMPLATE or DLGTEMPLATEEX, as a
// resource holds it) of `size` bytes into out (outCount wide characters,
// terminated). False, with out empty, when the template is cut short or has
// no caption. Never reads past `size` bytes.
bool DialogTemplateCaption(const unsigned char* data, std::size_t size, wchar_t* out, std::size_t outCount);
