// The network-car recorder: samples the remote cars of a network game while the local replay
// records, and moves them along the samples while it plays back. So far the tick's two calls,
// which do nothing.
#pragma once

void NetReplay_Record(void);
void NetReplay_Play(void);
// The local replay's recording or playback starts: the counters back to 0. Nothing yet.
void NetReplay_ResetRecording(void);
void NetReplay_ResetPlayback(void);
