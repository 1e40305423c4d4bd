#include "engine/player/nPlayerApp.h"

#include "core/nIO.h"
#include "core/nIOArchiveFS.h"
#include "core/nLog.h"
#include "core/nVariant.h"
#include "render/nRenderer.h"

namespace {

const char* const kBootstrapFile = "bootstrap.txt";
const char* const kBootstrapArchive = "resource.qza";

// "bootstrap.txt" read from the archive: the archive is current only while the file is read.
bool LoadFromArchive(nMetaFile& document)
{
    nIOArchiveFS archive;
    if (!archive.Connect(kBootstrapArchive, 0, false, 0, false)) return false;
    nIOBaseFS* previous = nIO::SetCurrentFS(&archive);
    bool loaded = document.Load(kBootstrapFile);
    nIO::SetCurrentFS(previous);
    return loaded;
}

}

bool nPlayerApp::ReadBootstrap()
{
    nMetaFile document;
    if (document.Load(kBootstrapFile)) {
        m_dataSource = PlayerDataSourceFileSystem;
    } else {
        if (!LoadFromArchive(document)) return false;
        m_dataRoot.Set(kBootstrapArchive);
        m_dataSource = PlayerDataSourceArchive;
    }

    nString viewMode(document.GetString("ViewMode;", "Scene"));
    m_viewMode = viewMode == "Scene" ? PlayerViewModeScene : PlayerViewModeProject;
    m_inputFile.Set(document.GetString("Input;", "scene.nms"));
    if (document.FindPath("ViewScene;")) m_viewMode = PlayerViewModeScene;
    m_ignoreEscape = document.GetBool("IgnoreEsc;", false);
    m_ignoreMissing = document.GetBool("IgnoreMissingResource;", false);
    return true;
}

bool nPlayerApp::ReadConfigFile(const char* path)
{
    // A failed load leaves the tree empty, so every key below keeps its value and every
    // renderer switch reads as off.
    m_config.Clear();
    bool loaded = m_config.Load(path);
    m_fullScreen = m_config.GetBool("Fullscreen;", m_fullScreen);
    m_width = m_config.GetInt("Width;", m_width);
    m_height = m_config.GetInt("Height;", m_height);
    m_aspectRatio = m_config.GetFloat("AspectRatio;", m_aspectRatio);
    if (m_renderer) m_renderer->SetGlobalAspectRatio(m_aspectRatio);
    return loaded;
}
