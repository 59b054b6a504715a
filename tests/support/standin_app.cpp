#include "standin_app.h"

#include "imageio.h"

#include <cstdlib>
#include <sstream>

namespace rig {

std::string BridgeDll() { return ExeDir() + "menubridge.dll"; }

bool StandInApp::Start(const std::string& args, std::string* error, const std::string& folder)
{
    dir = folder.empty() ? MakeTempDir("standin") : folder;
    journal = dir + "\\journal.txt";
    out = dir + "\\standin-stdout.txt";
    std::string all = "--journal \"" + journal + "\" " + args;
    if (!StartProgram(ExeDir() + "standin.exe", all, &proc, out, BridgeDll(), error))
        return false;
    if (!WaitForEvents("start", 1, 15000)) {
        if (error)
            *error = "the stand-in did not start: " + ReadFileText(out);
        return false;
    }
    std::istringstream in(EventsNamed("start").front().args);
    unsigned long pid = 0;
    long long m = 0, a = 0;
    in >> pid >> m >> a;
    main = reinterpret_cast<HWND>(static_cast<INT_PTR>(m));
    app = reinterpret_cast<HWND>(static_cast<INT_PTR>(a));
    return IsWindow(main) != FALSE;
}

std::vector<JournalEvent> StandInApp::Events() const
{
    std::vector<JournalEvent> events;
    std::istringstream in(ReadFileText(journal));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        JournalEvent e;
        size_t a = line.find(' ');
        if (a == std::string::npos)
            continue;
        e.tick = static_cast<DWORD>(std::strtoul(line.substr(0, a).c_str(), nullptr, 10));
        size_t b = line.find(' ', a + 1);
        e.name = line.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1);
        e.args = b == std::string::npos ? std::string() : line.substr(b + 1);
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

bool StandInApp::WaitForEvents(const std::string& name, size_t count, DWORD timeoutMs, const std::string& argsPrefix)
{
    return WaitUntil([&] { return EventsNamed(name, argsPrefix).size() >= count; }, timeoutMs);
}

void StandInApp::Close()
{
    if (main)
        PostMessageA(main, WM_CLOSE, 0, 0);
    if (!WaitExit(proc, 5000))
        EndProgram(proc);
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
