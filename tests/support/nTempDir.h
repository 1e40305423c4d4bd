#pragma once
// nTempDir: a fresh directory under /tmp (mkdtemp) for file tests, removed with everything in it
// when the object goes.
//
//     nTempDir dir;
//     dir.Write("data/Models/Box.nmo", "box");    // parent directories are created
//     dir.Path("data")                             // "/tmp/qz-XXXXXX/data"
//     dir.Read("data/Models/Box.nmo")              // "box"; "" when missing
//
// With a nTempDir::ChangeInto guard alive, the process's current directory is the temporary
// directory, so that relative names land inside it; the guard restores the old one.

#include <string>
#include <vector>

class nTempDir
{
public:
    nTempDir();
    ~nTempDir();  // removes the whole tree
    nTempDir(const nTempDir&) = delete;
    nTempDir& operator=(const nTempDir&) = delete;

    const std::string& Root() const { return m_root; }
    std::string Path(const std::string& relative) const;                   // root + "/" + relative
    bool Write(const std::string& relative, const std::string& contents);  // creates parents
    bool MakeDir(const std::string& relative);                             // creates parents
    std::string Read(const std::string& relative) const;                   // whole file; "" when missing
    bool Exists(const std::string& relative) const;                        // any kind of entry
    std::vector<std::string> List(const std::string& relative) const;      // entry names of a directory, sorted, without "." and ".."

    class ChangeInto
    {
    public:
        explicit ChangeInto(const nTempDir& dir);
        ~ChangeInto();
        ChangeInto(const ChangeInto&) = delete;
        ChangeInto& operator=(const ChangeInto&) = delete;

    private:
        std::string m_previous;
    };

private:
    std::string m_root;
};
