#include "core/nIOBaseFS.h"

nIOBaseFS::~nIOBaseFS()
{
    // The nodes go with the list; the handles themselves are the implementations' to close.
}

bool nIOBaseFS::ChangeDir(const char* path)
{
    return false;
}

bool nIOBaseFS::ListDir(const char* pattern, nList<nString*>* names)
{
    return false;
}

bool nIOBaseFS::CloseAll()
{
    // Close unlinks the handle it is given; the successor is taken first so that the walk
    // survives it. A handle that an implementation fails to unlink is dropped from the list
    // anyway, so the loop always ends.
    nListNode<nIOHandle*>* node = m_handles.GetHead();
    while (node) {
        nListNode<nIOHandle*>* next = node->next;
        nIOHandle* handle = node->value;
        Close(handle);
        if (m_handles.Contains(handle))
            m_handles.Remove(handle);
        node = next;
    }
    return true;
}

nIOHandle* nIOBaseFS::OpenSearch(const char* path, bool read, bool write, bool append)
{
    nIOHandle* handle = Open(path, read, write, append);
    if (handle || !read || !path)
        return handle;
    nString resolved(path);
    if (!ResolveSearchPath(resolved))
        return 0;
    return Open(resolved.GetCStr(), read, write, append);
}

bool nIOBaseFS::AddHandle(nIOHandle* handle)
{
    return m_handles.InsertAfter(handle, 0) != 0;
}

bool nIOBaseFS::RemoveHandle(nIOHandle* handle)
{
    return handle && m_handles.Remove(handle);
}

bool nIOBaseFS::HasHandle(const nIOHandle* handle) const
{
    return handle && m_handles.Contains(handle);
}

// ResolveSearchPath lives in nIO.cpp, beside the search-path list it walks.
