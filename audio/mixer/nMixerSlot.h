#ifndef N_MIXER_SLOT_H
#define N_MIXER_SLOT_H

class nMixer;
class nNull_Mixer;

// Where the current mixer is kept, beside the null mixer that stands in when no other is
// current. The engine hub is one (it derives from this); it sits here, below the hub, so that
// a mixer makes itself current and steps back at its end without knowing the hub.
class nMixerSlot
{
public:
    nMixer* GetMixer() const { return m_mixer; }
    void SetMixer(nMixer* mixer) { m_mixer = mixer; }
    nNull_Mixer* GetNullMixer() const { return m_nullMixer; }  // owned by the holder

protected:
    nMixerSlot() : m_mixer(0), m_nullMixer(0) {}
    ~nMixerSlot() {}

    nMixer* m_mixer;           // current mixer
    nNull_Mixer* m_nullMixer;  // owned by the holder; may be NULL
};

#endif
