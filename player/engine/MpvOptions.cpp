#include "player/engine/MpvOptions.h"

#include <QFile>
#include <QFileInfo>

namespace quillet::player {

namespace {

// A progressive download buffers 5 seconds before it plays, and again after
// running dry; it keeps downloading the whole stream meanwhile, so the
// loaded part grows as it does in a browser plug-in.
constexpr const char* kHttpFileOptions = "cache=yes,cache-pause-initial=yes,cache-pause-wait=5";

constexpr const char* kRepairedFileOptions =
    "demuxer-lavf-o=fflags=-ignidx,cache=yes,demuxer-max-bytes=8MiB,demuxer-max-back-bytes=8MiB";

// The desktop's sound server: PulseAudio, or PipeWire through its PulseAudio
// service; PipeWire's own protocol only when its socket is there, since its
// client library complains on stderr when nothing answers. Silence otherwise.
QByteArray soundOutputs() {
  if (const QByteArray forced = qgetenv("QUILLET_AO"); !forced.isEmpty()) return forced;
  QByteArray list = "pulse,";
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QFileInfo::exists(QFile::decodeName(runtime) + "/pipewire-0"))
    list += "pipewire,";
  return list + "null";
}

struct Option {
  const char* name;
  QByteArray value;
  bool essential;  // without it there is no engine
};

}  // namespace

bool applyMpvOptions(mpv_handle* mpv) {
  const Option options[] = {
      // No user configuration, scripts, on-screen display or key bindings:
      // the player's own control bar is the only interface.
      {"config", "no", true},
      {"terminal", "no", false},
      {"osc", "no", false},
      {"osd-level", "0", false},
      {"input-default-bindings", "no", false},
      {"input-vo-keyboard", "no", false},
      {"input-cursor", "no", false},
      {"input-media-keys", "no", false},
      {"load-scripts", "no", false},
      {"load-stats-overlay", "no", false},
      {"load-osd-console", "no", false},
      {"load-auto-profiles", "no", false},
      {"ytdl", "no", false},
      {"resume-playback", "no", false},
      {"sub-auto", "no", false},
      {"audio-display", "no", false},
      // Only real media: no playlists, directories or references to other
      // files are followed.
      {"demuxer", "lavf", false},
      {"access-references", "no", false},
      // FFmpeg's FLV demuxer takes onMetaData's key-frame times literally, and
      // writers that put them off the real timestamps (ffmpeg's own index
      // when the sound delays the video) made seeks land a key frame or two
      // late. Its own search over the file is exact, but reads the whole
      // file up to the target. Local FLV files come through our reader, whose
      // index is exact, and use it (repairedLoadfileArguments).
      {"demuxer-lavf-o", "fflags=+ignidx", false},
      // Our renderer draws; software decoding.
      {"vo", "libmpv", true},
      // The conversion of each frame into the window's pixels, zimg's, costs
      // as much CPU as decoding at large sizes. One thread does it with less
      // CPU in all than several (the same picture); no random dithering and
      // a two-lobe spline instead of Lanczos keep the picture the same to
      // the eye (SSIM >= 0.99 against libmpv's defaults, tested) for about a
      // fifth less.
      {"zimg-threads", "1", false},
      {"zimg-dither", "no", false},
      {"zimg-scaler", "spline16", false},
      {"hwdec", "no", false},
      // Render calls must not wait for a frame's display time on the GUI thread.
      {"video-timing-offset", "0", false},
      {"idle", "yes", true},
      {"keep-open", "yes", true},
      {"ao", soundOutputs(), true},
      {"audio-fallback-to-null", "yes", false},
      // A faster or slower video keeps its voices' pitch.
      {"audio-pitch-correction", "yes", false},
  };
  for (const Option& o : options)
    if (mpv_set_option_string(mpv, o.name, o.value.constData()) < 0 && o.essential) return false;
  return true;
}

void observeMpvProperties(mpv_handle* h) {
  mpv_observe_property(h, kTimePos, "time-pos", MPV_FORMAT_DOUBLE);
  mpv_observe_property(h, kDuration, "duration", MPV_FORMAT_DOUBLE);
  mpv_observe_property(h, kPause, "pause", MPV_FORMAT_FLAG);
  mpv_observe_property(h, kPausedForCache, "paused-for-cache", MPV_FORMAT_FLAG);
  mpv_observe_property(h, kEofReached, "eof-reached", MPV_FORMAT_FLAG);
  mpv_observe_property(h, kDisplayWidth, "dwidth", MPV_FORMAT_INT64);
  mpv_observe_property(h, kDisplayHeight, "dheight", MPV_FORMAT_INT64);
  mpv_observe_property(h, kCacheState, "demuxer-cache-state", MPV_FORMAT_NODE);
  mpv_observe_property(h, kVideoFormat, "video-format", MPV_FORMAT_STRING);
  mpv_observe_property(h, kAudioCodec, "audio-codec-name", MPV_FORMAT_STRING);
  mpv_observe_property(h, kAudioSampleRate, "audio-params/samplerate", MPV_FORMAT_INT64);
  // FLV's onMetaData fields beyond the known ones land in libmpv's metadata.
  mpv_observe_property(h, kTitle, "metadata/by-key/title", MPV_FORMAT_STRING);
  mpv_observe_property(h, kSpeed, "speed", MPV_FORMAT_DOUBLE);
}

std::vector<const char*> loadfileArguments(const QByteArray& url, bool network,
                                           unsigned long clientApi) {
  std::vector<const char*> args{"loadfile", url.constData(), "replace"};
  if (network) {
    // libmpv 0.38 (client API 2.3) put an insertion index before the
    // per-file options.
    if (clientApi >= MPV_MAKE_VERSION(2, 3)) args.push_back("-1");
    args.push_back(kHttpFileOptions);
  }
  return args;
}

std::vector<const char*> repairedLoadfileArguments(const QByteArray& url, unsigned long clientApi) {
  static const QByteArray options = repairedFileOptions();
  return repairedLoadfileArguments(url, options, clientApi);
}

QByteArray repairedFileOptions(double startSeconds) {
  // A small packet cache: the demuxer reads ahead, so FFmpeg learns the
  // exact time of every key frame it passes (the reader's index can only
  // give whole seconds to FFmpeg before 6.0, and a key frame listed at the
  // second after it is skipped by seeks just after it), and a seek into
  // what is cached needs no demuxer at all. Bounded, so that a long file
  // costs no more memory than a short one.
  QByteArray options = kRepairedFileOptions;
  // An exact seek, as the engine's own are.
  if (startSeconds > 0) options += ",start=" + QByteArray::number(startSeconds, 'f', 3);
  return options;
}

std::vector<const char*> repairedLoadfileArguments(const QByteArray& url,
                                                   const QByteArray& fileOptions,
                                                   unsigned long clientApi) {
  std::vector<const char*> args{"loadfile", url.constData(), "replace"};
  if (clientApi >= MPV_MAKE_VERSION(2, 3)) args.push_back("-1");
  args.push_back(fileOptions.constData());
  return args;
}

}  // namespace quillet::player
