// What a Windows user sees of the built tolvane.exe without running it: the
// version information of its Properties and the manifest Windows reads when it
// starts the program. Both executables are read back as files: the 64-bit one
// beside this test, the 32-bit one from the i686 build (this kernel cannot run
// 32-bit programs, but resources are read as data).
#include "app/app.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The folder of this test program, with a trailing backslash.
std::string OwnFolder()
{
    char path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n < MAX_PATH ? n : 0);
    size_t slash = s.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : s.substr(0, slash + 1);
}

std::string X64Exe()
{
    return OwnFolder() + "tolvane.exe";
}

// scripts/test builds the i686 tree beside the x86_64 one, so its program is
// at ..\..\i686\bin from here; TOLVANE_I686_EXE names another file.
std::string I686Exe()
{
    const char* env = std::getenv("TOLVANE_I686_EXE");
    if (env && *env)
        return env;
    return OwnFolder() + "..\\..\\i686\\bin\\tolvane.exe";
}

bool FileExists(const std::string& path)
{
    DWORD attr = GetFileAttributesA(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

// The Machine field of the file's PE header, or 0 if it is not a PE file.
WORD PeMachine(const std::string& path)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return 0;
    std::vector<unsigned char> head(4096);
    DWORD got = 0;
    ReadFile(f, head.data(), static_cast<DWORD>(head.size()), &got, nullptr);
    CloseHandle(f);
    if (got < 0x40 || head[0] != 'M' || head[1] != 'Z')
        return 0;
    DWORD pe = head[0x3c] | head[0x3d] << 8 | head[0x3e] << 16 | static_cast<DWORD>(head[0x3f]) << 24;
    if (pe + 6 > got || head[pe] != 'P' || head[pe + 1] != 'E' || head[pe + 2] || head[pe + 3])
        return 0;
    return static_cast<WORD>(head[pe + 4] | head[pe + 5] << 8);
}

struct VersionInfo {
    bool ok = false;
    VS_FIXEDFILEINFO fixed = {};
    std::vector<std::pair<WORD, WORD>> translations; // language, code page
    std::vector<unsigned char> block;

    // A value of the string table the first translation names.
    std::string Value(const char* name) const
    {
        if (translations.empty())
            return "<no translation>";
        char query[128];
        wsprintfA(query, "\\StringFileInfo\\%04x%04x\\%s", translations[0].first, translations[0].second, name);
        void* text = nullptr;
        UINT len = 0;
        if (!VerQueryValueA(block.data(), query, &text, &len) || !text)
            return std::string("<missing ") + name + ">";
        // len counts the terminator; the text ends at the first of both.
        return std::string(static_cast<const char*>(text), strnlen(static_cast<const char*>(text), len));
    }
};

VersionInfo ReadVersion(const std::string& path)
{
    VersionInfo v;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0)
        return v;
    v.block.resize(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, v.block.data()))
        return v;
    void* data = nullptr;
    UINT len = 0;
    if (!VerQueryValueA(v.block.data(), "\\", &data, &len) || len < sizeof(VS_FIXEDFILEINFO))
        return v;
    v.fixed = *static_cast<VS_FIXEDFILEINFO*>(data);
    if (VerQueryValueA(v.block.data(), "\\VarFileInfo\\Translation", &data, &len)) {
        const WORD* words = static_cast<const WORD*>(data);
        for (UINT i = 0; i + 1 < len / sizeof(WORD); i += 2)
            v.translations.emplace_back(words[i], words[i + 1]);
    }
    v.ok = true;
    return v;
}

// The text of the RT_MANIFEST resource 1, the one Windows reads at start-up.
bool ReadManifest(const std::string& path, std::string* out)
{
    // As data: no code of the file runs, and a 32-bit file loads into this
    // 64-bit process too.
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return false;
    bool ok = false;
    HRSRC res = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24) /* RT_MANIFEST */);
    if (res) {
        HGLOBAL loaded = LoadResource(module, res);
        const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
        DWORD size = SizeofResource(module, res);
        if (bytes && size) {
            out->assign(bytes, size);
            ok = true;
        }
    }
    FreeLibrary(module);
    return ok;
}

// The Nth line of the help text (from 0), without its line feed.
std::string HelpLine(int n)
{
    std::string text = HelpText;
    size_t start = 0;
    for (int i = 0; i < n; ++i) {
        start = text.find('\n', start);
        if (start == std::string::npos)
            return "";
        ++start;
    }
    return text.substr(start, text.find('\n', start) - start);
}

std::string Trimmed(const std::string& s)
{
    size_t a = s.find_first_not_of(' ');
    size_t b = s.find_last_not_of(' ');
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

void ExpectVersionInfo(const std::string& path)
{
    SCOPED_TRACE(path);
    VersionInfo v = ReadVersion(path);
    ASSERT_TRUE(v.ok) << "no version information, error " << GetLastError();

    EXPECT_EQ(v.fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(v.fixed.dwFileVersionMS, static_cast<DWORD>(MAKELONG(51, 1))) << "1.51";
    EXPECT_EQ(v.fixed.dwFileVersionLS, 0u) << ".0.0";
    EXPECT_EQ(v.fixed.dwProductVersionMS, static_cast<DWORD>(MAKELONG(51, 1)));
    EXPECT_EQ(v.fixed.dwProductVersionLS, 0u);
    EXPECT_EQ(v.fixed.dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(v.fixed.dwFileFlags & v.fixed.dwFileFlagsMask, 0u) << "a release: no debug or pre-release flag";

    ASSERT_EQ(v.translations.size(), 1u);
    EXPECT_EQ(v.translations[0].first, 0x0409) << "U.S. English";
    EXPECT_EQ(v.translations[0].second, 1252) << "Windows ANSI";

    EXPECT_EQ(v.Value("FileVersion"), "1.51.0.0");
    EXPECT_EQ(v.Value("ProductVersion"), "1.51.0.0");
    EXPECT_EQ(v.Value("ProductName"), "Tolvane");
    EXPECT_EQ(v.Value("FileDescription"), "Batch processing for Neat Image");
    EXPECT_EQ(v.Value("OriginalFilename"), "tolvane.exe");
    EXPECT_EQ(v.Value("CompanyName"), "The Tolvane Authors");
    EXPECT_EQ(v.Value("LegalCopyright"), "Copyright (c) 2002 The Tolvane Authors");
    // The same words as the help text's title and publisher lines.
    EXPECT_EQ(HelpLine(0), std::string(41, ' ') + v.Value("ProductName") + " 1.51");
    EXPECT_EQ(Trimmed(HelpLine(1)), v.Value("LegalCopyright"));
    EXPECT_NE(HelpLine(1).find(v.Value("CompanyName")), std::string::npos);
}

bool Contains(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

void ExpectManifest(const std::string& path)
{
    SCOPED_TRACE(path);
    std::string m;
    ASSERT_TRUE(ReadManifest(path, &m)) << "no RT_MANIFEST resource 1, error " << GetLastError();

    EXPECT_TRUE(Contains(m, "<requestedExecutionLevel level=\"asInvoker\"")) << m;
    EXPECT_FALSE(Contains(m, "requireAdministrator"));
    EXPECT_FALSE(Contains(m, "highestAvailable"));
    EXPECT_TRUE(Contains(m, ">true</dpiAware>")) << m;
    EXPECT_TRUE(Contains(m, ">system</dpiAwareness>")) << m;
    const char* const kSupportedOs[] = {
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", // Windows 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", // Windows 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", // Windows 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", // Windows 10 and 11
    };
    for (const char* id : kSupportedOs)
        EXPECT_TRUE(Contains(m, (std::string("<supportedOS Id=\"") + id + "\"/>").c_str())) << id;
    EXPECT_TRUE(Contains(m, "version=\"1.51.0.0\"")) << "the assembly's version";
    // Common Controls 6 would fill the console trace with the notifications
    // of its themed controls (see the manifest).
    EXPECT_FALSE(Contains(m, "Microsoft.Windows.Common-Controls"));

    // The loader's own parser must accept it: a manifest it refuses stops the
    // program from starting at all ("side-by-side configuration is incorrect").
    ACTCTXA actctx = {};
    actctx.cbSize = sizeof actctx;
    actctx.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    actctx.lpSource = path.c_str();
    actctx.lpResourceName = MAKEINTRESOURCEA(1);
    HANDLE ctx = CreateActCtxA(&actctx);
    EXPECT_NE(ctx, INVALID_HANDLE_VALUE) << "the manifest does not parse, error " << GetLastError();
    if (ctx != INVALID_HANDLE_VALUE)
        ReleaseActCtx(ctx);
}

TEST(Release, X64ProgramIsAPe32PlusFile)
{
    ASSERT_TRUE(FileExists(X64Exe())) << X64Exe();
    EXPECT_EQ(PeMachine(X64Exe()), IMAGE_FILE_MACHINE_AMD64);
}

TEST(Release, X64ProgramCarriesItsVersionInformation)
{
    ExpectVersionInfo(X64Exe());
}

TEST(Release, X64ProgramCarriesItsManifest)
{
    ExpectManifest(X64Exe());
}

TEST(Release, I686ProgramIsAPe32File)
{
    ASSERT_TRUE(FileExists(I686Exe())) << I686Exe() << " is missing: build the i686 tree first (scripts/test does)";
    EXPECT_EQ(PeMachine(I686Exe()), IMAGE_FILE_MACHINE_I386);
}

TEST(Release, I686ProgramCarriesItsVersionInformation)
{
    ASSERT_TRUE(FileExists(I686Exe())) << I686Exe();
    ExpectVersionInfo(I686Exe());
}

TEST(Release, I686ProgramCarriesItsManifest)
{
    ASSERT_TRUE(FileExists(I686Exe())) << I686Exe();
    ExpectManifest(I686Exe());
}

} // namespace
