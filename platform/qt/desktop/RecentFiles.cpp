#include "platform/qt/desktop/RecentFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <vector>

namespace quillet::qt {

namespace {

Q_LOGGING_CATEGORY(lcRecent, "quillet.desktop", QtWarningMsg)

const QString kBookmarkNs =
    QStringLiteral("http://www.freedesktop.org/standards/desktop-bookmarks");
const QString kMimeNs = QStringLiteral("http://www.freedesktop.org/standards/shared-mime-info");

QString escaped(const QString& text) {
  QString out = text.toHtmlEscaped();  // & < > "
  return out.replace(u'\'', QStringLiteral("&apos;"));
}

QString now() {
  return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

QString applicationElement(const RecentFiles::Application& app, qint64 count, const QString& when) {
  return QStringLiteral(
             "<bookmark:application name=\"%1\" exec=\"%2\" modified=\"%3\" count=\"%4\"/>")
      .arg(escaped(app.name), escaped(app.exec), when)
      .arg(count);
}

QString newBookmark(const QString& uri, const QString& mimeType,
                    const RecentFiles::Application& app, const QString& when) {
  return QStringLiteral(
             "  <bookmark href=\"%1\" added=\"%2\" modified=\"%2\" visited=\"%2\">\n"
             "    <info>\n"
             "      <metadata owner=\"http://freedesktop.org\">\n"
             "        <mime:mime-type type=\"%3\"/>\n"
             "        <bookmark:applications>\n"
             "          %4\n"
             "        </bookmark:applications>\n"
             "      </metadata>\n"
             "    </info>\n"
             "  </bookmark>\n")
      .arg(escaped(uri), when, escaped(mimeType), applicationElement(app, 1, when));
}

const char* kEmptyList =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<xbel version=\"1.0\"\n"
    "      xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\"\n"
    "      xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\"\n"
    ">\n"
    "</xbel>\n";

struct Splice {
  qint64 from, to;  // character offsets in the document
  QString text;
};

// Where the document changes for the entry: the ranges to replace, or the
// reason it is left alone.
std::optional<std::vector<Splice>> plan(const QString& document, const QString& uri,
                                        const QString& mimeType,
                                        const RecentFiles::Application& app, QString* why) {
  const QString when = now();
  QXmlStreamReader xml(document);
  std::vector<Splice> splices;
  // Where the tag just read begins and ends: the reader's own offset may
  // run a character or so ahead, and a tag holds no literal '<'.
  qint64 before = 0, after = 0;
  const auto locateTag = [&] {
    after = document.lastIndexOf(u'>', xml.characterOffset() - 1) + 1;
    before = document.lastIndexOf(u'<', after - 1);
  };
  bool rootSeen = false, found = false, inOurs = false, appDone = false;
  qint64 oursStart = 0, appsEnd = -1;
  int depth = 0;
  while (!xml.atEnd()) {
    const auto token = xml.readNext();
    if (token == QXmlStreamReader::StartElement || token == QXmlStreamReader::EndElement)
      locateTag();
    if (token == QXmlStreamReader::StartElement) {
      ++depth;
      if (depth == 1) {
        const auto prefixes = xml.namespaceDeclarations();
        const auto declares = [&](const QString& prefix, const QString& ns) {
          return std::any_of(prefixes.begin(), prefixes.end(), [&](const auto& d) {
            return d.prefix() == prefix && d.namespaceUri() == ns;
          });
        };
        if (xml.name() != QLatin1String("xbel") ||
            !declares(QStringLiteral("bookmark"), kBookmarkNs) ||
            !declares(QStringLiteral("mime"), kMimeNs)) {
          *why = QStringLiteral("not a desktop bookmark list");
          return std::nullopt;
        }
        rootSeen = true;
      } else if (depth == 2 && xml.name() == QLatin1String("bookmark") && !found &&
                 xml.attributes().value(QLatin1String("href")) == uri) {
        found = inOurs = true;
        oursStart = before;
        // The entry's own tag, its times brought up to date.
        QString tag = QStringLiteral("<bookmark");
        for (const auto& a : xml.attributes()) {
          const QString name = a.qualifiedName().toString();
          const bool fresh = name == QLatin1String("modified") || name == QLatin1String("visited");
          tag +=
              QStringLiteral(" %1=\"%2\"").arg(name, fresh ? when : escaped(a.value().toString()));
        }
        if (!xml.attributes().hasAttribute(QLatin1String("modified")))
          tag += QStringLiteral(" modified=\"%1\"").arg(when);
        if (!xml.attributes().hasAttribute(QLatin1String("visited")))
          tag += QStringLiteral(" visited=\"%1\"").arg(when);
        splices.push_back({before, after, tag + u'>'});
      } else if (inOurs && xml.namespaceUri() == kBookmarkNs &&
                 xml.name() == QLatin1String("application") &&
                 xml.attributes().value(QLatin1String("name")) == app.name) {
        const qint64 count = xml.attributes().value(QLatin1String("count")).toLongLong();
        const qint64 start = before;
        xml.skipCurrentElement();
        locateTag();
        --depth;
        splices.push_back(
            {start, after, applicationElement(app, std::max<qint64>(count, 0) + 1, when)});
        appDone = true;
      }
    } else if (token == QXmlStreamReader::EndElement) {
      if (inOurs && xml.namespaceUri() == kBookmarkNs &&
          xml.name() == QLatin1String("applications"))
        appsEnd = before;
      if (inOurs && depth == 2) {
        inOurs = false;
        if (!appDone && appsEnd >= 0) {
          splices.push_back({appsEnd, appsEnd,
                             QStringLiteral("  ") + applicationElement(app, 1, when) +
                                 QStringLiteral("\n        ")});
        } else if (!appDone) {
          // An entry without the applications that used it: written anew.
          splices = {{oursStart, after, newBookmark(uri, mimeType, app, when).trimmed()}};
        }
      }
      if (depth == 1 && !found)
        splices.push_back({before, before, newBookmark(uri, mimeType, app, when)});
      --depth;
    }
  }
  if (xml.hasError() || !rootSeen) {
    *why = xml.hasError() ? xml.errorString() : QStringLiteral("no document");
    return std::nullopt;
  }
  return splices;
}

}  // namespace

RecentFiles::RecentFiles(Application application, QString path)
    : app(std::move(application)), listPath(std::move(path)) {
  if (listPath.isEmpty())
    listPath = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
               QStringLiteral("/recently-used.xbel");
}

QByteArray RecentFiles::fileUri(const QByteArray& absolutePath) {
  return "file://" + absolutePath.toPercentEncoding("/!$&'()*+,:=@");
}

bool RecentFiles::add(const QByteArray& path, const QString& mimeType) {
  std::error_code error;
  const std::filesystem::path absolute =
      std::filesystem::absolute(path.toStdString(), error).lexically_normal();
  if (path.isEmpty() || error || !std::filesystem::is_regular_file(absolute, error)) {
    qCInfo(lcRecent) << "recent files: skipped, no regular file:" << path;
    return false;
  }
  const QString uri = QString::fromLatin1(fileUri(QByteArray::fromStdString(absolute.string())));

  QFile file(listPath);
  QByteArray bytes = kEmptyList;
  if (file.exists()) {
    if (!file.open(QIODevice::ReadOnly)) {
      qCInfo(lcRecent) << "recent files: skipped, cannot read" << listPath;
      return false;
    }
    bytes = file.readAll();
    file.close();
  }
  // Only UTF-8 is rewritten: anything else would not come back byte for byte.
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString document = utf8.decode(bytes);
  QString why;
  std::optional<std::vector<Splice>> splices;
  if (utf8.hasError())
    why = QStringLiteral("not UTF-8");
  else
    splices = plan(document, uri, mimeType, app, &why);
  if (!splices) {
    qCInfo(lcRecent).noquote() << "recent files: skipped," << listPath << "left alone:" << why;
    return false;
  }
  QString updated = document;
  std::sort(splices->begin(), splices->end(),
            [](const Splice& a, const Splice& b) { return a.from > b.from; });
  for (const Splice& s : *splices) updated.replace(s.from, s.to - s.from, s.text);

  QDir().mkpath(QFileInfo(listPath).absolutePath());
  QSaveFile out(listPath);
  if (!out.open(QIODevice::WriteOnly) || out.write(updated.toUtf8()) < 0 || !out.commit()) {
    qCInfo(lcRecent) << "recent files: skipped, cannot write" << listPath << out.errorString();
    return false;
  }
  return true;
}

}  // namespace quillet::qt
