#include "tests/support/nTempDir.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <ftw.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
    remove(path);
    return 0;
}

bool MakeDirs(const std::string& path)
{
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0755) != 0) {
            struct stat st;
            if (stat(part.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
                return false;
        }
        if (slash == std::string::npos)
            return true;
    }
}

}  // namespace

nTempDir::nTempDir()
{
    char pattern[] = "/tmp/qz-XXXXXX";
    if (mkdtemp(pattern))
        m_root = pattern;
}

nTempDir::~nTempDir()
{
    if (!m_root.empty())
        nftw(m_root.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string nTempDir::Path(const std::string& relative) const
{
    return m_root + "/" + relative;
}

bool nTempDir::Write(const std::string& relative, const std::string& contents)
{
    const std::string path = Path(relative);
    const size_t slash = path.rfind('/');
    if (!MakeDirs(path.substr(0, slash)))
        return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    return bool(out);
}

bool nTempDir::MakeDir(const std::string& relative)
{
    return MakeDirs(Path(relative));
}

std::string nTempDir::Read(const std::string& relative) const
{
    std::ifstream in(Path(relative), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool nTempDir::Exists(const std::string& relative) const
{
    struct stat st;
    return stat(Path(relative).c_str(), &st) == 0;
}

std::vector<std::string> nTempDir::List(const std::string& relative) const
{
    std::vector<std::string> names;
    DIR* d = opendir(Path(relative).c_str());
    if (!d)
        return names;
    while (struct dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

nTempDir::ChangeInto::ChangeInto(const nTempDir& dir)
{
    char buffer[4096];
    if (getcwd(buffer, sizeof buffer))
        m_previous = buffer;
    if (chdir(dir.Root().c_str()) != 0)
        m_previous.clear();
}

nTempDir::ChangeInto::~ChangeInto()
{
    if (!m_previous.empty() && chdir(m_previous.c_str()) != 0)
        perror("chdir");
}
