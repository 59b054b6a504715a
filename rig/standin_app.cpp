#include "standin_app.h"

#include "imageio.h"

#include <cstdlib>
#include <sstream>

namespace rig {

std::string BridgeDll()
{
    return ExeDir() + "menubridge.dll";
}

bool StandInApp::Start(const std::string& args, std::string* error, const std::string& folder, const std::string& dll)
{
    dir = folder.empty() ? MakeTempDir("standin") : folder;
    journal = dir + "\\journal.txt";
    out = dir + "\\standin-stdout.txt";
    DeleteFileA(journal.c_str()); // the stand-in appends to its journal
    std::string all = "--journal \"" + journal + "\"" + (args.empty() ? "" : " " + args);
    if (!StartProgram(ExeDir() + "standin.exe", all, &proc, out, dll, error))
        return false;
    if (!WaitForEvents("start", 1, 15000)) {
        if (error)
            *error = "the stand-in did not start: " + ReadFileText(out);
        return false;
    }
    std::istringstream in(EventsNamed("start").front().args);
    unsigned long pid = 0;
    long long m = 0, a = 0;
    if (!(in >> pid >> m >> a)) {
        if (error)
            *error = "malformed start event: " + EventsNamed("start").front().args;
        return false;
    }
    startPid = pid;
    main = reinterpret_cast<HWND>(static_cast<INT_PTR>(m));
    app = reinterpret_cast<HWND>(static_cast<INT_PTR>(a));
    return IsWindow(main) != FALSE;
}

std::vector<JournalEvent> StandInApp::Events() const
{
    std::vector<JournalEvent> events;
    std::string text = ReadFileText(journal);
    size_t pos = 0;
    for (;;) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            break; // a line still being written
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        JournalEvent e;
        char* rest = nullptr;
        e.tick = static_cast<DWORD>(std::strtoul(line.c_str(), &rest, 10));
        if (rest == line.c_str() || *rest != ' ') {
            events.push_back(JournalEvent{});
            continue;
        }
        std::string tail = rest + 1;
        size_t blank = tail.find(' ');
        e.name = tail.substr(0, blank);
        e.args = blank == std::string::npos ? std::string() : tail.substr(blank + 1);
        events.push_back(e);
    }
    return events;
}

std::vector<JournalEvent> StandInApp::EventsNamed(const std::string& name, const std::string& argsPrefix) const
{
    std::vector<JournalEvent> out;
    for (auto& e : Events())
        if (e.name == name && e.args.compare(0, argsPrefix.size(), argsPrefix) == 0)
            out.push_back(e);
    return out;
}

bool StandInApp::Has(const std::string& name, const std::string& args) const
{
    for (auto& e : Events())
        if (e.name == name && e.args == args)
            return true;
    return false;
}

bool StandInApp::WaitFor(const std::string& name, const std::string& args, DWORD timeoutMs) const
{
    return WaitUntil([&] { return Has(name, args); }, timeoutMs);
}

bool StandInApp::WaitForEvents(const std::string& name, size_t count, DWORD timeoutMs, const std::string& argsPrefix)
{
    return WaitUntil([&] { return EventsNamed(name, argsPrefix).size() >= count; }, timeoutMs);
}

JournalEvent StandInApp::Last() const
{
    std::vector<JournalEvent> events = Events();
    return events.empty() ? JournalEvent{} : events.back();
}

std::string StandInApp::JournalText() const
{
    std::string s;
    for (const auto& e : Events())
        s += "  " + std::to_string(e.tick) + " " + e.name + (e.args.empty() ? "" : " " + e.args) + "\n";
    return s;
}

void StandInApp::Close()
{
    if (!Close(nullptr, 5000))
        EndProgram(proc);
}

bool StandInApp::Close(DWORD* exitCode, DWORD timeoutMs)
{
    if (main)
        PostMessageA(main, WM_CLOSE, 0, 0);
    return WaitExit(proc, timeoutMs, exitCode);
}

bool WriteTestImage(const std::string& path, int width, int height, int noise)
{
    imageio::Image img = imageio::MakeImage(width, height, 3);
    unsigned seed = 12345;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = img.row(y);
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                seed = seed * 1103515245u + 12345u;
                int n = noise ? static_cast<int>((seed >> 16) % (2 * noise + 1)) - noise : 0;
                int v = (x * 255 / width + (c * 60) + (y > height / 2 ? 40 : 0)) % 256 + n;
                row[x * 3 + c] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
    imageio::Format f = imageio::FormatFromExtension(path);
    if (f == imageio::Format::Unknown)
        f = imageio::Format::BMP;
    return imageio::SaveImage(path, img, f);
}

bool WriteTestProfile(const std::string& path, double sigma)
{
    std::ostringstream s;
    s << "# test noise profile\r\nsigma=" << sigma << "\r\nradius=2\r\n";
    return WriteFileText(path, s.str());
}

} // namespace rig
