#pragma once
// What the banner helper sends back to Quillet, one message per datagram of
// a local SOCK_SEQPACKET socket: the page's pixels, each frame in a sealed
// memfd of its own passed with the message, and the web addresses the page
// asks to open in the user's browser. Nothing else ever comes back.
//
// The receiving side trusts nothing: a frame counts only when its sizes are
// sane and its memory is a memfd sealed against shrinking and at least as
// large as the sizes say, so that reading it can never fault. Every other
// message, and every descriptor that comes with it, is dropped.

#include <QImage>
#include <QUrl>
#include <functional>

namespace quillet::qt::bannerwire {

inline constexpr int kMaxSide = 16384;
inline constexpr qsizetype kMaxFrameBytes = qsizetype(64) * 1024 * 1024;
inline constexpr qsizetype kMaxAddress = 4096;

// Helper side. Makes a frame of size (32-bit RGB) in a new memfd, lets paint
// draw into it, seals it and sends it; false when any step fails or the
// socket is full (the frame is then dropped, nothing is left behind).
bool sendFrame(int socket, QSize size, const std::function<void(QImage&)>& paint);
// Asks Quillet to open a web address in the user's browser.
bool sendOpen(int socket, const QUrl& address);

// Quillet side: one received message.
struct Message {
  enum Kind {
    None,     // nothing waiting
    Closed,   // the helper's end is gone (or the socket failed)
    Ignored,  // a message that was not understood or not sane
    Frame,
    Open,
  } kind = None;
  QImage frame;
  QUrl address;
};
// Reads one message without waiting; a frame larger than largest either way
// is not taken (its sender was told a smaller size).
Message receive(int socket, QSize largest);

}  // namespace quillet::qt::bannerwire

namespace quillet::qt {

// The largest page handed to the helper; the web engine shows handed
// content only up to 2 MB. A larger page is loaded by the helper itself.
inline constexpr qsizetype kMaxHandedPage = 1536 * 1024;

// Whether a media type (without blanks) may be handed to the helper with a
// page: letters, digits and "/;=+-._" only.
bool isPageType(const QByteArray& type);

// Whether an address may be loaded into the banner or handed to the user's
// browser from it: only web addresses, never local files or other schemes.
bool isWebAddress(const QUrl& url);

}  // namespace quillet::qt
