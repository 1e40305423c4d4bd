#ifndef MVX_VIDEOOUTPUT_H
#define MVX_VIDEOOUTPUT_H

#include <cstdint>

// The frame format a video decoder announces: 1 three separate 8-bit planes, 2 pixels already
// in the picture as B, G, R, A.
struct mvx_VideoFormat
{
    int32_t format;
    int32_t width;
    int32_t height;
};

// Where a stream's video decoder puts its frames. The stream presents one frame per frame
// period (Present), whether or not a new one arrived.
class mvx_VideoOutput
{
public:
    mvx_VideoOutput()
        : m_frameFormat(0), m_flag(0), m_frameWidth(0), m_frameHeight(0), m_outputWidth(0),
          m_outputHeight(0), m_aspect(1.0f), m_nextPresentation(0), m_extra(0) {}
    virtual int32_t Hook0() { return 0; }
    virtual bool Hook1() { return false; }
    virtual void Hook2() {}
    virtual void Hook3() {}
    virtual bool Hook4() { return true; }
    virtual void Hook5() {}
    virtual bool SetFormat(const mvx_VideoFormat& format) = 0;
    virtual bool PutFrame(const uint8_t* const planes[3]) = 0;
    virtual bool FramePending() = 0;
    virtual bool NoFramePending() { return !FramePending(); }
    virtual void ClearPresentation() { m_nextPresentation = 0; }  // the stream closes
    virtual bool SupportsGapless() { return false; }
    virtual bool Present() = 0;  // once per frame period
    virtual bool Hook13() { return true; }
    virtual uint8_t GetFlag() { return m_flag; }
    virtual ~mvx_VideoOutput() {}

protected:
    int32_t m_frameFormat;
    uint8_t m_flag;
    int32_t m_frameWidth, m_frameHeight;
    int32_t m_outputWidth, m_outputHeight;
    float m_aspect;
    int32_t m_nextPresentation;
    int32_t m_extra;
};

#endif
