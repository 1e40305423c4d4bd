#pragma once
// Test doubles for resources that talk to the engine: a renderer that records the texture and
// material calls it receives, and a core listener that records core events, both into one shared
// list of calls so that tests can check their order.
//
//     nOrvex engine;
//     std::vector<std::string> calls;
//     nResourceRecordingRenderer renderer(&engine, calls);   // current renderer until destroyed
//     nResourceRecordingListener listener(&engine, calls);
//     ... calls == {"SetupTexture a.tga", "event 5 a.tga", "FreeTexture a.tga", "event 6 a.tga"}
//
// Like a device renderer, it can drop the CPU pixels of textures it sets up (dropPixels), unless
// the texture keeps them (TextureKeepPixels); and it attaches renderer data on set-up and deletes
// it on free.

#include "hub/nCoreListener.h"
#include "hub/nOrvex.h"
#include "render/nNull_Renderer.h"
#include "render/nRenderData.h"
#include "resources/nMaterial.h"
#include "resources/nTexture.h"

#include <string>
#include <vector>

class nResourceRecordingRenderer : public nNull_Renderer
{
public:
    nResourceRecordingRenderer(nOrvex* engine, std::vector<std::string>& calls) : nNull_Renderer(engine, true), m_calls(calls) {}

    bool setupAnswer = true;    // what SetupTexture answers
    bool dropPixels = false;    // turn set-up textures into size-only pictures

    bool SetupTexture(nTexture* texture) override
    {
        m_calls.push_back("SetupTexture " + Name(texture));
        if (!setupAnswer)
            return false;
        if (!texture->GetRenderData())
            texture->SetRenderData(new nRenderData());
        if (dropPixels && !texture->TestFlag(TextureKeepPixels))
            texture->SetSizeOnly(texture->GetWidth(), texture->GetHeight());
        return true;
    }
    void FreeTexture(nTexture* texture) override
    {
        m_calls.push_back("FreeTexture " + Name(texture));
        delete texture->GetRenderData();
        texture->SetRenderData(0);
    }
    bool SetupMaterial(nMaterial* material) override
    {
        m_calls.push_back("SetupMaterial " + Name(material));
        if (material->GetRenderData())
            return false;
        material->SetRenderData(new nRenderData());
        return true;
    }
    void UpdateMaterial(nMaterial* material) override { m_calls.push_back("UpdateMaterial " + Name(material)); }
    void FreeMaterial(nMaterial* material) override
    {
        m_calls.push_back("FreeMaterial " + Name(material));
        delete material->GetRenderData();
        material->SetRenderData(0);
    }

    template<class T>
    static std::string Name(const T* resource)
    {
        const char* text = resource->GetName().GetCStr();
        return text ? text : "";
    }

private:
    std::vector<std::string>& m_calls;
};

class nResourceRecordingListener : public nCoreListener
{
public:
    nResourceRecordingListener(nOrvex* engine, std::vector<std::string>& calls) : m_engine(engine), m_calls(calls)
    {
        m_engine->AddCoreListener(this);
    }
    ~nResourceRecordingListener() override { m_engine->RemoveCoreListener(this); }

    int32_t OnCoreEvent(int32_t code, nCoreEventRecord* record) override
    {
        std::string call = "event " + std::to_string(code);
        if (record->texture)
            call += " " + nResourceRecordingRenderer::Name(record->texture);
        if (record->geometry || record->sound || record->reserved)
            call += " +other";
        m_calls.push_back(call);
        return 0;
    }

private:
    nOrvex*                   m_engine;
    std::vector<std::string>& m_calls;
};

// Progress interface that records its messages into the same list.
class nResourceRecordingProgress : public nOrvex::EventInterface
{
public:
    explicit nResourceRecordingProgress(std::vector<std::string>& calls) : m_calls(calls) {}
    void OnMessage(const char* text) override { m_calls.push_back(std::string("message ") + text); }

private:
    std::vector<std::string>& m_calls;
};
