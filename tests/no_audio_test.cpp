// Runs with the audio server out of reach, as on a machine without any sound device.

#include "module/ExtViewModuleInfo.h"
#include "player/CPlayer.h"
#include "player/Topology.h"
#include "viewer/ExtViewMF.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <mfapi.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace {

TEST(NoAudioDevice, IsNoticed) { EXPECT_FALSE(HasAudioOutput()); }

TEST(NoAudioDevice, MoviePlaysItsPictureSilently) {
    HostWindow host(320, 240);
    ExtViewMF viewer;
    host.SetViewer(&viewer);
    ASSERT_EQ(viewer.Open(MediaPath(L"sample.mp4").c_str()), 0);
    ASSERT_EQ(viewer.Attach(host.pane()), 0);
    ASSERT_TRUE(PumpUntil([&] { return viewer.player->State() == PlayerState::Started; }, 5000))
        << "state " << static_cast<int>(viewer.player->State());
    EXPECT_TRUE(viewer.player->HasVideoDisplay());

    ComPtr<IMFTopology> playing;
    ASSERT_HRESULT_SUCCEEDED(
        viewer.player->Session()->GetFullTopology(MFSESSION_GETFULLTOPOLOGY_CURRENT, 0, &playing));
    WORD count = 0;
    playing->GetNodeCount(&count);
    int sourceNodes = 0;
    for (WORD i = 0; i < count; ++i) {
        ComPtr<IMFTopologyNode> node;
        MF_TOPOLOGY_TYPE type = MF_TOPOLOGY_MAX;
        if (SUCCEEDED(playing->GetNode(i, &node)) && SUCCEEDED(node->GetNodeType(&type)) &&
            type == MF_TOPOLOGY_SOURCESTREAM_NODE) {
            ++sourceNodes;
        }
    }
    EXPECT_EQ(sourceNodes, 1) << "only the video stream plays";

    int32_t first = -1;
    ASSERT_EQ(viewer.HandleMessage(WM_EXTVIEW_GET_POSITION, reinterpret_cast<WPARAM>(&first), 0), 0);
    PumpMessages(600);
    int32_t later = -1;
    ASSERT_EQ(viewer.HandleMessage(WM_EXTVIEW_GET_POSITION, reinterpret_cast<WPARAM>(&later), 0), 0);
    EXPECT_GE(later - first, 300) << "the clock runs";
}

}  // namespace
