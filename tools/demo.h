// What the parts of the demo share: its sample photographs, the output format
// chosen, the run's settings and outcome, and the two parts kept apart from
// the driving of Tolvane: making the samples (demo_samples.cpp) and writing
// the summary (demo_summary.cpp).
#pragma once

#include "driver_support.h"

#include <string>
#include <vector>

namespace demo {

struct Sample {
    std::string name;  // scene name
    std::string input; // the noisy image Tolvane gets
    std::string clean; // the original, as PNG
};

struct OutputChoice {
    const char* option;   // --format value
    const char* selector; // text in Tolvane's output format selector
    const char* decoded;  // what DetectFormat reports for the output
};

struct Run {
    std::string out;
    const OutputChoice* choice = nullptr;
    long filterMs = 2000;
    long timeoutS = 300;
    std::vector<Sample> samples;
    std::string profile;
    std::string failure; // why the run could not be carried out
};

// Makes the six scenes: clean PNG originals, noisy inputs in .jpg, .bmp and
// .tif (two each), and a noise profile matching the noise.
bool MakeSamples(Run& run);

// Judges every job of the list (`rows`, as the list showed them) by its
// output and the stand-in's journal, prints the table and writes summary.txt
// and summary.csv to the output folder. 0 when every job produced a cleaner
// output in the chosen format, else 1.
int Summarise(Run& run, const std::vector<std::vector<std::string>>& rows, const std::vector<tools::JobRecord>& jobs,
              double runMs, const std::vector<std::string>& notes);

} // namespace demo
