#include "render/nRenderer.h"

#include <new>
#include <string>

#include "core/nMLReader.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "render/nNull_Renderer.h"

nRenderer::nRenderer(nRendererSlot* slot, bool makeCurrent)
    : m_slot(slot),
      m_cleanResourceOnSetup(true),
      m_textureBytes(0),
      m_geometryBytes(0),
      m_open(false),
      m_closed(true),
      m_fullScreen(false),
      m_outputSize(1.0f, 1.0f),
      m_camera(0),
      m_viewCamera(0),
      m_cameraRecord(0),
      m_renderTarget(0),
      m_controlWord(0),
      m_systemWord(0),
      m_fogEnabled(false),
      m_fogNear(0.0f),
      m_fogFar(0.0f),
      m_fogColour(0.0f, 0.0f, 0.0f, 1.0f),
      m_targetExposure(0.0f),
      m_globalAspectRatio(1.0f),
      m_propertyCallback(0),
      m_propertyContext(0)
{
    if (makeCurrent && m_slot) m_slot->SetRenderer(this);
}

nRenderer::~nRenderer()
{
    if (m_slot) {
        nRenderer* fallback = m_slot->GetNullRenderer();
        if (fallback == this) {
            if (m_slot->GetRenderer() == this) m_slot->SetRenderer(0);
        } else if (m_slot->GetRenderer() == this) {
            m_slot->SetRenderer(fallback);
        }
    }
    m_renderQueue.Clear();
    m_registry.Clear(true);
}

int32_t nRenderer::GetConstant()
{
    return 8192;
}

nVector2& nRenderer::GetOutputSize(nVector2& out)
{
    // The render target's own size needs the picture type of the resource library, which
    // renderers drawing into textures bring with them; the base answers for the window.
    out = m_outputSize;
    return out;
}

void nRenderer::SetRenderTarget(nTexture* target)
{
    m_renderTarget = target;
}

void nRenderer::ApplyCamera()
{
    // Without a bound camera there is nothing to apply. The camera's own projection and view
    // volume come from the camera class of the scene library, above this one.
}

bool nRenderer::LoadTextureContent(nTexture* texture, const char* path)
{
    return false;
}

void nRenderer::SetCamera(nItem* camera)
{
    m_camera = camera;
    m_cameraRecord = camera;
    m_viewCamera = 0;
}

void nRenderer::SetFog(bool enabled, const nVector* colour, float nearZ, float farZ)
{
    m_fogEnabled = enabled;
    if (colour) m_fogColour = *colour;
    if (nearZ >= 0.001f) m_fogNear = nearZ;
    float minimumFar = m_fogNear + 0.001f;
    m_fogFar = farZ > minimumFar ? farZ : minimumFar;
}

void nRenderer::SetControlFlag(uint32_t bits, bool on)
{
    if (on) m_controlWord |= bits;
    else m_controlWord &= ~bits;
}

void nRenderer::SetSystemFlag(uint32_t bits, bool on)
{
    if (on) m_systemWord |= bits;
    else m_systemWord &= ~bits;
}

void nRenderer::SetPropertyRequestCallback(RendererPropertyRequest callback, void* context)
{
    m_propertyCallback = callback;
    m_propertyContext = context;
}

bool nRenderer::RequestProperty(int32_t kind, nPropertyRequest* request)
{
    if (!m_propertyCallback || !request) return false;
    request->answered = false;
    request->context = m_propertyContext;
    return m_propertyCallback(kind, request);
}

nList<nRenderable*>::Node* nRenderer::QueueRenderable(nRenderable* renderable)
{
    return m_renderQueue.InsertBefore(renderable, 0);
}

void nRenderer::ResetRenderQueue()
{
    m_renderQueue.Clear();
    m_viewCamera = 0;
}

void nRenderer::BuildPrimitiveList(nRenderablePrimitiveList* list, int32_t pass)
{
    if (!list) return;
    DeletePrimitiveList(list);
    if (!m_camera) return;
    if (pass == 0) m_viewCamera = m_camera;
    for (nList<nRenderable*>::Node* n = m_renderQueue.GetHead(); n; n = n->next)
        if (n->value) n->value->Enqueue(m_camera, list, pass);
    SortPrimitiveList(list);
}

nMetaTag* nRenderer::FindRegistryKey(const char* path)
{
    return path ? FindMetaTagByPath(&m_registry, path, false) : 0;
}

nMetaTag* nRenderer::CreateRegistryKey(const char* path, const nVariant* value)
{
    if (!path) return 0;
    std::string rest(path);
    const size_t end = rest.find(';');
    if (end != std::string::npos) rest.erase(end);
    nMetaTag* tag = 0;
    size_t start = 0;
    while (start <= rest.size()) {
        size_t colon = rest.find(':', start);
        if (colon == std::string::npos) colon = rest.size();
        const std::string name = rest.substr(start, colon - start);
        start = colon + 1;
        if (name.empty()) continue;
        const std::string key = name + ";";
        nMetaTag* next = tag ? tag->FindPath(key.c_str(), false) : FindMetaTagByPath(&m_registry, key.c_str(), false);
        if (!next) {
            next = new (std::nothrow) nMetaTag(name.c_str());
            if (!next) return 0;
            if (tag) {
                if (!tag->AddChild(next)) {
                    delete next;
                    return 0;
                }
            } else {
                m_registry.Add(next, true, true);
            }
        }
        tag = next;
    }
    if (tag && value) tag->GetValue().Set(*value);
    return tag;
}

nMetaTag* nRenderer::SaveSettings()
{
    nMetaTag* root = new (std::nothrow) nMetaTag(GetName());
    if (!root) return 0;
    AppendTag(root, new (std::nothrow) nMetaTag("Version", GetVersion()));
    nMetaTag* registry = new (std::nothrow) nMetaTag("Registry");
    if (registry) {
        nLinkedListIterator it;
        while (nLinkedListEntry* e = m_registry.Iterate(it)) {
            AppendTag(registry, static_cast<nMetaTag*>(e)->Clone(true));
        }
        AppendTag(root, registry);
    }
    return root;
}

bool nRenderer::LoadSettings(nMetaFile* document)
{
    if (!document) return false;
    nMetaTagIterator it;
    nMetaTag* root = document->NextRoot(it);
    if (!root || !IsTagNamed(root, GetName())) return false;
    m_registry.Clear(true);
    nMetaTagIterator child;
    while (nMetaTag* tag = root->NextChild(child)) {
        if (!IsTagNamed(tag, "Registry")) continue;
        nMetaTagIterator entry;
        while (nMetaTag* key = tag->NextChild(entry)) {
            nMetaTag* copy = key->Clone(true);
            if (copy) m_registry.Add(copy, true, true);
        }
    }
    return true;
}

int32_t ComputeTextureSize(int32_t edge, bool powerOfTwo)
{
    if (powerOfTwo) {
        int32_t c = 1;
        while (c < edge && c < (1 << 30)) c *= 2;
        return c;
    }
    if (edge <= 1) return 1;
    int32_t c = 2;
    while (c + c / 2 < edge && c < 4096) c *= 2;
    return c > 4096 ? 4096 : c;
}
