#include "input/nInterfaceKeyboard.h"

#include <cstring>

#include "core/nLog.h"
#include "platform/nPlatformInput.h"

namespace {

// The keys polled, in order, and the platform keys each is read from (either of two; -1 none).
struct PolledKey
{
    int32_t code;
    int32_t key;
    int32_t other;
};

const PolledKey kPolled[] = {
    {KeyCodeUpArrow, PlatformKeyUp, -1},
    {KeyCodeDownArrow, PlatformKeyDown, -1},
    {KeyCodeLeftArrow, PlatformKeyLeft, -1},
    {KeyCodeRightArrow, PlatformKeyRight, -1},
    {KeyCodeLShift, PlatformKeyLShift, -1},
    {KeyCodeRShift, PlatformKeyRShift, -1},
    {KeyCodeLCtrl, PlatformKeyLCtrl, -1},
    {KeyCodeRCtrl, PlatformKeyRCtrl, -1},
    {KeyCodeLAlt, PlatformKeyLAlt, PlatformKeyRAlt},  // both Alt codes read either Alt key
    {KeyCodeRAlt, PlatformKeyLAlt, PlatformKeyRAlt},
    {KeyCodeLWin, PlatformKeyLGui, -1},
    {KeyCodeRWin, PlatformKeyRGui, -1},
    {KeyCodeF1 + 0, PlatformKeyF1 + 0, -1},
    {KeyCodeF1 + 1, PlatformKeyF1 + 1, -1},
    {KeyCodeF1 + 2, PlatformKeyF1 + 2, -1},
    {KeyCodeF1 + 3, PlatformKeyF1 + 3, -1},
    {KeyCodeF1 + 4, PlatformKeyF1 + 4, -1},
    {KeyCodeF1 + 5, PlatformKeyF1 + 5, -1},
    {KeyCodeF1 + 6, PlatformKeyF1 + 6, -1},
    {KeyCodeF1 + 7, PlatformKeyF1 + 7, -1},
    {KeyCodeF1 + 8, PlatformKeyF1 + 8, -1},
    {KeyCodeF1 + 9, PlatformKeyF1 + 9, -1},
    {KeyCodeF1 + 10, PlatformKeyF1 + 10, -1},
    {KeyCodeF1 + 11, PlatformKeyF1 + 11, -1},
    {KeyCodePause, PlatformKeyPause, -1},
    {KeyCodeScrollLock, PlatformKeyScrollLock, -1},
    {KeyCodeNumLock, PlatformKeyNumLock, -1},
    {KeyCodeNumpad0 + 0, PlatformKeyNumpad0, -1},
    {KeyCodeNumpad0 + 1, PlatformKeyNumpad1 + 0, -1},
    {KeyCodeNumpad0 + 2, PlatformKeyNumpad1 + 1, -1},
    {KeyCodeNumpad0 + 3, PlatformKeyNumpad1 + 2, -1},
    {KeyCodeNumpad0 + 4, PlatformKeyNumpad1 + 3, -1},
    {KeyCodeNumpad0 + 5, PlatformKeyNumpad1 + 4, -1},
    {KeyCodeNumpad0 + 6, PlatformKeyNumpad1 + 5, -1},
    {KeyCodeNumpad0 + 7, PlatformKeyNumpad1 + 6, -1},
    {KeyCodeNumpad0 + 8, PlatformKeyNumpad1 + 7, -1},
    {KeyCodeNumpad0 + 9, PlatformKeyNumpad1 + 8, -1},
    {KeyCodeEscape, PlatformKeyEscape, -1},
    {KeyCodeSpace, PlatformKeySpace, -1},
    {KeyCodeTab, PlatformKeyTab, -1},
    {KeyCodeBackspace, PlatformKeyBackspace, -1},
    {KeyCodePageUp, PlatformKeyPageUp, -1},
    {KeyCodePageDown, PlatformKeyPageDown, -1},
    {KeyCodeReturn, PlatformKeyReturn, -1},
};

bool Down(const nInputSnapshot& s, const PolledKey& k)
{
    return s.IsKeyDown(k.key) || (k.other >= 0 && s.IsKeyDown(k.other));
}

bool CharacterDown(const nInputSnapshot& s, char c)
{
    return s.IsKeyDown(nPlatform::GetKeyForCharacter(c));
}

int32_t CharacterEvent(char c)
{
    return ((int32_t)(unsigned char)c << 8) | KeyCodeASCII;
}

}  // namespace

nInterfaceKeyboard& GetGlobalKeyboard()
{
    static nInterfaceKeyboard keyboard;
    return keyboard;
}

nInterfaceKeyboard::nInterfaceKeyboard()
{
    m_name.Set("Keyboard");
    std::memset(m_filter, 0, sizeof(m_filter));
    std::memset(m_wasDown, 0, sizeof(m_wasDown));
}

void nInterfaceKeyboard::SetFunctionBounceFilter(int32_t function, bool on)
{
    if (function == DeviceFunctionKeyPress) m_keys.SetFilter(on);
}

bool nInterfaceKeyboard::IsFunctionSupported(int32_t function)
{
    return function == DeviceFunctionKeyPress;
}

void nInterfaceKeyboard::SetKeyBounceFilter(int32_t code, bool on)
{
    if (code < 0 || code >= KeyCodeCount) {
        *g_log << "[*] Keyboard has no key " << code << ".\n";
        return;
    }
    m_filter[code] = on ? 1 : 0;
}

bool nInterfaceKeyboard::PollKey(int32_t code, bool down)
{
    const bool push = down && !(m_filter[code] && m_wasDown[code]);
    m_wasDown[code] = down ? 1 : 0;
    return !push || m_keys.Push(code);
}

bool nInterfaceKeyboard::Update()
{
    const nInputSnapshot& s = nPlatform::GetInputSnapshot();
    m_keys.Empty();
    bool any = false;
    for (const PolledKey& k : kPolled) any = any || Down(s, k);
    for (char c = '0'; c <= '9' && !any; ++c) any = CharacterDown(s, c);
    for (char c = 'a'; c <= 'z' && !any; ++c) any = CharacterDown(s, c);
    // The ring's filter compares with the last accepted key: with no key held, the next
    // press is a new one (the keyboard never pushes the 0 that would tell it).
    if (!any) m_keys.SetLastNonZero(false);

    for (const PolledKey& k : kPolled)
        if (!PollKey(k.code, Down(s, k))) return false;
    for (char c = '0'; c <= '9'; ++c)
        if (CharacterDown(s, c)) m_keys.Push(CharacterEvent(c));
    const bool upper = s.IsKeyDown(PlatformKeyLShift) || s.IsKeyDown(PlatformKeyRShift);
    for (char c = 'a'; c <= 'z'; ++c)
        if (CharacterDown(s, c)) m_keys.Push(CharacterEvent(upper ? (char)(c - 'a' + 'A') : c));
    return true;
}

bool nInterfaceKeyboard::PoolFunction(int32_t function, int32_t* value, int32_t* extra, bool remove)
{
    if (!CheckFunction(function) || function != DeviceFunctionKeyPress) return false;
    int32_t stored = 0;
    if (!m_keys.Pool(&stored, true)) return false;
    if (value) *value = stored & 0xff;
    if (extra && (stored & 0xff) == KeyCodeASCII) *extra = (stored >> 8) & 0xff;
    return true;
}

bool nInterfaceKeyboard::SeekFunction(int32_t function, int32_t value)
{
    if (!CheckFunction(function) || function != DeviceFunctionKeyPress) return false;
    return m_keys.Seek(value);
}
