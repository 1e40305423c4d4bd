// The OpenAL mixer on a machine where OpenAL Soft finds no device: start-up fails with the
// mixer's own lines, never silently.
#include "audio/openal/nALMixer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/nLogCapture.h"

TEST(ALMixerNoDevice, OpenFailsWithItsReason)
{
    setenv("ALSOFT_DRIVERS", "no-such-backend", 1);
    nLogCapture log;
    nALMixer mixer(0, false);
    EXPECT_FALSE(mixer.Open());
    EXPECT_FALSE(mixer.IsOpen());
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Starting OpenAL1.1 mixer...\n",
                                                     "[*] Failed to open default device, performances might suffer.\n",
                                                     "[!] Failed to open default OpenAL device.\n"}));
}
