// The demo's summary: for each job the input, the output file and its
// decoded format, the noise before and after (PSNR of the input and of the
// output against the clean original) and the time the job took, printed and
// written as summary.txt and summary.csv.
#include "demo.h"

#include "imageio.h"
#include "rig.h"

#include <windows.h>

#include <cmath>
#include <sstream>

namespace demo {
namespace {

using tools::Pad;

bool SameFile(const std::string& a, const std::string& b)
{
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

struct JobResult {
    std::string input, output, decoded;
    double psnrIn = 0.0, psnrOut = 0.0;
    DWORD jobMs = 0, filterMs = 0;
    bool ok = false;
    std::string problem;
};

std::string Db(double v)
{
    return std::isinf(v) ? std::string("inf") : tools::Fixed(v, 2);
}

std::string CsvField(const std::string& s)
{
    if (s.find_first_of(",\"") == std::string::npos)
        return s;
    std::string q = "\"";
    for (char c : s)
        q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

} // namespace

int Summarise(Run& run, const std::vector<std::vector<std::string>>& rows, const std::vector<tools::JobRecord>& jobs,
              double runMs, const std::vector<std::string>& notes)
{
    std::vector<JobResult> results;
    for (size_t i = 0; i < rows.size(); ++i) {
        JobResult r;
        r.input = rows[i].empty() ? std::string() : rows[i][0];
        const Sample* sample = nullptr;
        for (auto& s : run.samples)
            if (SameFile(s.input, r.input))
                sample = &s;
        const tools::JobRecord* job = nullptr;
        for (auto& j : jobs)
            if (SameFile(j.image, r.input) && !j.output.empty())
                job = &j;
        if (job) {
            r.output = job->output;
            r.jobMs = job->saved - job->openMenu;
            r.filterMs = job->filterMs;
        }
        imageio::Image clean, in, out;
        if (!sample || !imageio::LoadImage(sample->clean, clean)) {
            r.problem = "no clean original for this input";
        } else if (!imageio::LoadImage(r.input, in)) {
            r.problem = "cannot read the input";
        } else if (r.output.empty() || !rig::FileExists(r.output)) {
            r.problem = "no output was saved";
        } else {
            r.decoded = imageio::DetectFormat(r.output);
            if (!imageio::LoadImage(r.output, out))
                r.problem = "cannot decode the output";
            else {
                r.psnrIn = imageio::Psnr(in, clean);
                r.psnrOut = imageio::Psnr(out, clean);
                if (r.decoded != run.choice->decoded)
                    r.problem = "output is " + r.decoded + ", not " + run.choice->decoded;
                else if (!(r.psnrOut > r.psnrIn))
                    r.problem = "output is no cleaner than its input";
                else
                    r.ok = true;
            }
        }
        results.push_back(r);
    }

    std::ostringstream t;
    t << "Tolvane demo: " << results.size() << " jobs, output format " << run.choice->selector
      << ", stand-in filter stretched to at least " << run.filterMs << " ms\n\n";
    t << Pad("#", 3) << Pad("Input", 12) << Pad("Output", 26) << Pad("Format", 7) << Pad("PSNR in", 9, true)
      << Pad("PSNR out", 10, true) << Pad("Gain", 8, true) << Pad("Filter", 9, true) << Pad("Job", 8, true) << "\n";
    t << Pad("", 3) << Pad("", 12) << Pad("", 26) << Pad("", 7) << Pad("dB", 9, true) << Pad("dB", 10, true)
      << Pad("dB", 8, true) << Pad("s", 9, true) << Pad("s", 8, true) << "\n";
    t << std::string(92, '-') << "\n";
    int good = 0;
    double sumIn = 0, sumOut = 0;
    for (size_t i = 0; i < results.size(); ++i) {
        const JobResult& r = results[i];
        t << Pad(std::to_string(i + 1), 3) << Pad(paths::FileNameOf(r.input), 12)
          << Pad(r.output.empty() ? "(none)" : paths::FileNameOf(r.output), 26) << Pad(r.decoded, 7)
          << Pad(Db(r.psnrIn), 9, true) << Pad(Db(r.psnrOut), 10, true) << Pad(Db(r.psnrOut - r.psnrIn), 8, true)
          << Pad(tools::Fixed(r.filterMs / 1000.0, 2), 9, true) << Pad(tools::Fixed(r.jobMs / 1000.0, 2), 8, true)
          << (r.ok ? "" : "  <- " + r.problem) << "\n";
        if (r.ok) {
            ++good;
            sumIn += r.psnrIn;
            sumOut += r.psnrOut;
        }
    }
    t << std::string(92, '-') << "\n";
    if (good > 0)
        t << "Mean PSNR of the good jobs: " << Db(sumIn / good) << " dB before, " << Db(sumOut / good) << " dB after (+"
          << Db((sumOut - sumIn) / good) << " dB).\n";
    t << "Batch run (Start to \"Processing complete\"): " << tools::Fixed(runMs / 1000.0, 1) << " s for "
      << results.size() << " jobs.\n";
    t << good << " of " << run.samples.size() << " jobs produced a cleaner " << run.choice->decoded << " output.\n";
    for (auto& n : notes)
        t << "Note: " << n << "\n";
    std::string table = t.str();

    std::ostringstream csv;
    csv << "job,input,output,output_format,psnr_input_db,psnr_output_db,gain_db,filter_ms,job_ms,ok\r\n";
    for (size_t i = 0; i < results.size(); ++i) {
        const JobResult& r = results[i];
        csv << i + 1 << "," << CsvField(r.input) << "," << CsvField(r.output) << "," << r.decoded << "," << Db(r.psnrIn)
            << "," << Db(r.psnrOut) << "," << Db(r.psnrOut - r.psnrIn) << "," << r.filterMs << "," << r.jobMs << ","
            << (r.ok ? "yes" : "no") << "\r\n";
    }
    std::string crlf;
    for (char c : table) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    rig::WriteFileText(paths::JoinPath(run.out, "summary.txt"), crlf);
    rig::WriteFileText(paths::JoinPath(run.out, "summary.csv"), csv.str());
    tools::Print("\n" + table);
    bool all = good == static_cast<int>(run.samples.size()) && results.size() == run.samples.size();
    return all ? 0 : 1;
}

} // namespace demo
