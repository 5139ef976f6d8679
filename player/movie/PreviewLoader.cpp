#include "player/movie/PreviewLoader.h"

#include <QBuffer>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace quillet::player {

namespace {

// Preview images beyond this many pixels or bytes are not decoded.
constexpr qint64 kMaxPreviewPixels = 64LL * 1024 * 1024;
constexpr qint64 kMaxPreviewBytes = 16LL * 1024 * 1024;

QImage readPreview(QImageReader& reader) {
  reader.setAutoTransform(true);
  const QSize size = reader.size();
  if (size.isValid() && qint64{size.width()} * size.height() > kMaxPreviewPixels) return {};
  return reader.read();
}

}  // namespace

void PreviewLoader::cancel() {
  if (reply_) reply_->abort();
  reply_ = nullptr;
}

void PreviewLoader::load(const QString& address) {
  cancel();
  const QUrl url(address);
  const QString scheme = url.scheme().toLower();
  if (scheme != QLatin1String("http") && scheme != QLatin1String("https") &&
      scheme != QLatin1String("file")) {
    QImageReader reader(address);
    if (const QImage picture = readPreview(reader); !picture.isNull()) emit loaded(picture);
    return;
  }
  if (!network_) network_ = new QNetworkAccessManager(this);
  QNetworkReply* reply = network_->get(QNetworkRequest(url));
  reply_ = reply;
  connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
    if (received > kMaxPreviewBytes) reply->abort();
  });
  connect(reply, &QNetworkReply::finished, this, [this, reply] {
    reply->deleteLater();
    if (reply != reply_ || reply->error() != QNetworkReply::NoError) return;
    reply_ = nullptr;
    QByteArray data = reply->read(kMaxPreviewBytes + 1);
    if (data.size() > kMaxPreviewBytes) return;
    QBuffer buffer(&data);
    QImageReader reader(&buffer);
    if (const QImage picture = readPreview(reader); !picture.isNull()) emit loaded(picture);
  });
}

}  // namespace quillet::player
