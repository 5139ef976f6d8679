#pragma once
// The movie's preview picture ("jpg"): a local path is read at once, an
// http(s) or file: address is fetched in the background, one at a time.
// Pictures too large to be a preview are refused.

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

namespace quillet::player {

class PreviewLoader final : public QObject {
  Q_OBJECT
 public:
  using QObject::QObject;

  // Forgets the picture under way and loads this one; a local one is
  // reported before load() returns.
  void load(const QString& address);
  void cancel();

 signals:
  // Only for a picture that could be read.
  void loaded(const QImage& picture);

 private:
  QNetworkAccessManager* network_ = nullptr;  // child; made for the first address
  QPointer<QNetworkReply> reply_;
};

}  // namespace quillet::player
