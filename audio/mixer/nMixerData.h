#ifndef N_MIXERDATA_H
#define N_MIXERDATA_H

// The record a mixer hangs on a sound when it uploads it (nMixer::UploadSample). The sound's
// mixer-data pointer owns it; the mixer's FreeSample deletes it and clears the pointer. Each mixer
// derives its own record; the sound never looks inside.
class nMixerData
{
public:
    nMixerData() {}
    virtual ~nMixerData() {}
    nMixerData(const nMixerData&) = delete;
    nMixerData& operator=(const nMixerData&) = delete;
};

#endif
