#include "PackageFiles.h"

#include "Replies.h"
#include "packaging/MotionRuntimeBuilder.h"
#include "packaging/PackageBuilder.h"
#include "packaging/PatternedBytes.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSet>
#include <QTemporaryDir>

#include <archive.h>
#include <archive_entry.h>

#include <charconv>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <vector>

namespace studio {
namespace {

// Raise it whenever the files built here change, so that cached builds are made anew.
constexpr int kBuildFormat = 2;
// Packages install into Final Cut Pro's support folder: the template tree and, for the
// Motion runtimes some of them carry, the ".MotionSupport" folder beside it.
const QString kInstallLocation = QStringLiteral("/Library/Application Support/Final Cut Pro");
const QString kTemplateTree = QStringLiteral("Templates.localized");
const QString kMotionSupport = QStringLiteral(".MotionSupport");

// The Motion template document of each category.
QString templateSuffix(const QString &category) {
    static const QMap<QString, QString> suffixes{{QStringLiteral("Titles"), QStringLiteral(".moti")},
                                                 {QStringLiteral("Generators"), QStringLiteral(".motn")},
                                                 {QStringLiteral("Effects"), QStringLiteral(".moef")},
                                                 {QStringLiteral("Transitions"), QStringLiteral(".motr")}};
    return suffixes.value(category);
}

QByteArray digestOf(const ServedFile &file) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArray::number(kBuildFormat));
    hash.addData(QJsonDocument(file.spec).toJson(QJsonDocument::Compact));
    return hash.result();
}

void writePackage(const ServedFile &file, const QByteArray &digest, const QString &path) {
    quillon::packaging::PackageBuilder builder(kInstallLocation);
    builder.identifier(file.identifier).folder(kTemplateTree);
    QSet<QString> categories;
    for (const PluginFolder &folder : file.folders) {
        const QString category = kTemplateTree + QLatin1Char('/') + folder.category + QStringLiteral(".localized");
        if (!categories.contains(category)) {
            categories.insert(category);
            builder.folder(category);
        }
        const QString dir = category + QLatin1Char('/') + folder.name;
        builder.folder(dir).file(dir + QLatin1Char('/') + folder.name + templateSuffix(folder.category),
                                 QStringLiteral("Vrel 体验服务生成的模板：%1\n").arg(folder.name).toUtf8());
    }
    if (file.paddingMiB > 0) {
        // Footage that does not compress keeps the package as large as asked.
        const QString media = kTemplateTree + QLatin1Char('/') + file.folders.first().category +
                              QStringLiteral(".localized/") + file.folders.first().name + QStringLiteral("/Media");
        QByteArray footage(qsizetype(file.paddingMiB) << 20, Qt::Uninitialized);
        std::uint64_t seed = 0;
        std::memcpy(&seed, digest.constData(), sizeof seed);
        quillon::packaging::fillPatterned(footage.data(), size_t(footage.size()), seed);
        builder.folder(media).file(media + QStringLiteral("/footage.bin"), footage);
    }
    if (!file.runtimes.isEmpty()) {
        // Each runtime is written and sealed on disk as the repair finds it, then packed.
        QTemporaryDir scratch;
        if (!scratch.isValid()) {
            throw std::runtime_error("cannot create a temporary folder for the runtime bundles");
        }
        builder.folder(kMotionSupport);
        for (const RuntimeBundle &runtime : file.runtimes) {
            const QString app = scratch.filePath(runtime.folder + QStringLiteral("/MotionRuntime.app"));
            quillon::packaging::writeMotionRuntime(app, {.identifier = runtime.identifier});
            const QString folder = kMotionSupport + QLatin1Char('/') + runtime.folder;
            builder.folder(folder).tree(folder + QStringLiteral("/MotionRuntime.app"), app);
        }
    }
    builder.write(path);
}

void writeArchive(const ServedFile &file, const QString &path) {
    std::unique_ptr<archive, decltype(&archive_write_free)> zip(archive_write_new(), &archive_write_free);
    auto check = [&](int status) {
        if (status < ARCHIVE_WARN) {
            throw std::runtime_error(path.toStdString() + ": " + archive_error_string(zip.get()));
        }
    };
    check(archive_write_set_format_zip(zip.get()));
    check(archive_write_open_filename(zip.get(), QFile::encodeName(path).constData()));
    for (const QString &name : file.entries) {
        const QByteArray contents = QStringLiteral("Vrel 体验服务生成的示例素材：%1\n").arg(name).toUtf8();
        std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(), &archive_entry_free);
        archive_entry_set_pathname_utf8(entry.get(), name.toUtf8().constData());
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), 0644);
        archive_entry_set_mtime(entry.get(), 1700000000, 0);
        archive_entry_set_size(entry.get(), contents.size());
        check(archive_write_header(zip.get(), entry.get()));
        if (archive_write_data(zip.get(), contents.constData(), size_t(contents.size())) != contents.size()) {
            check(ARCHIVE_FATAL);
        }
    }
    check(archive_write_close(zip.get()));
}

enum class RangeAnswer { whole, part, unsatisfiable };

bool readNumber(std::string_view text, std::uint64_t &out) {
    const char *end = text.data() + text.size();
    return !text.empty() && std::from_chars(text.data(), end, out).ptr == end;
}

// The one range of a "Range" header against `total` bytes, inclusive. A header that is
// missing, malformed, of another unit or asks for several ranges may be ignored: the
// whole file is sent then.
RangeAnswer readRange(const std::string &header, std::uint64_t total, std::uint64_t &first, std::uint64_t &last) {
    const std::string_view prefix = "bytes=";
    if (header.compare(0, prefix.size(), prefix) != 0 || header.find(',') != std::string::npos) {
        return RangeAnswer::whole;
    }
    const std::string_view spec = std::string_view(header).substr(prefix.size());
    const std::size_t dash = spec.find('-');
    if (dash == std::string_view::npos) {
        return RangeAnswer::whole;
    }
    const std::string_view from = spec.substr(0, dash);
    const std::string_view to = spec.substr(dash + 1);
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    if (from.empty()) { // the last b bytes
        if (!readNumber(to, b)) {
            return RangeAnswer::whole;
        }
        if (b == 0 || total == 0) {
            return RangeAnswer::unsatisfiable;
        }
        first = total - std::min(b, total);
        last = total - 1;
        return RangeAnswer::part;
    }
    if (!readNumber(from, a) || (!to.empty() && (!readNumber(to, b) || b < a))) {
        return RangeAnswer::whole;
    }
    if (a >= total) {
        return RangeAnswer::unsatisfiable;
    }
    first = a;
    last = to.empty() ? total - 1 : std::min(b, total - 1);
    return RangeAnswer::part;
}

} // namespace

PackageFiles::PackageFiles(const Catalogue &catalogue, const QString &cacheFolder) {
    for (const ServedFile &file : catalogue.files) {
        const QByteArray digest = digestOf(file);
        const QDir folder(QDir(cacheFolder).filePath(QString::fromLatin1(digest.toHex().left(16))));
        const QString path = folder.filePath(file.fileName);
        if (!QFileInfo(path).isFile()) {
            if (!folder.mkpath(QStringLiteral("."))) {
                throw std::runtime_error("cannot create " + folder.path().toStdString());
            }
            // Built beside its place and moved there whole: a start that stops halfway, or two
            // services starting at once, never leave a file that looks complete.
            const QString partial = path + QStringLiteral(".partial-%1").arg(::getpid());
            try {
                file.isPackage() ? writePackage(file, digest, partial) : writeArchive(file, partial);
            } catch (...) {
                QFile::remove(partial);
                throw;
            }
            if (std::rename(QFile::encodeName(partial).constData(), QFile::encodeName(path).constData()) != 0) {
                QFile::remove(partial);
                throw std::runtime_error("cannot move the built file to " + path.toStdString());
            }
        }
        m_paths.insert(file.fileName, path);
    }
}

void PackageFiles::route(httplib::Server &server) const {
    server.Get(R"(/packages/([^/]+))", [this](const httplib::Request &request, httplib::Response &response) {
        serve(request, response);
    });
}

void PackageFiles::serve(const httplib::Request &request, httplib::Response &response) const {
    // The library would cut ranges on its own, and this version answers unsatisfiable ones
    // wrongly: ranges are answered here. The request object is the library's own mutable one.
    const_cast<httplib::Request &>(request).ranges.clear();
    const QString path = m_paths.value(QString::fromStdString(request.matches[1].str()));
    auto input = std::make_shared<std::ifstream>(QFile::encodeName(path).toStdString(), std::ios::binary);
    if (path.isEmpty() || !*input) {
        replyError(response, 404, QStringLiteral("没有找到这个文件。"));
        return;
    }
    const std::uint64_t total = std::uint64_t(QFileInfo(path).size());
    response.set_header("Accept-Ranges", "bytes");
    std::uint64_t first = 0;
    std::uint64_t last = total - 1;
    switch (readRange(request.get_header_value("Range"), total, first, last)) {
    case RangeAnswer::unsatisfiable:
        response.status = 416;
        response.set_header("Content-Range", "bytes */" + std::to_string(total));
        return;
    case RangeAnswer::part:
        response.status = 206;
        response.set_header("Content-Range",
                            "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" + std::to_string(total));
        break;
    case RangeAnswer::whole:
        response.status = 200;
        first = 0;
        last = total - 1;
        break;
    }
    const std::uint64_t rate = m_bytesPerSecond;
    response.set_content_provider(
        last - first + 1, "application/octet-stream",
        [input, first, rate, started = std::make_shared<std::optional<std::chrono::steady_clock::time_point>>(),
         buffer = std::make_shared<std::vector<char>>(256 * 1024)](std::size_t offset, std::size_t length,
                                                                    httplib::DataSink &sink) {
            const std::size_t chunk = std::min(length, rate > 0 ? std::size_t(64 * 1024) : buffer->size());
            if (rate > 0) {
                // Each response on its own clock: byte n leaves n / rate seconds after the first.
                if (!*started) {
                    *started = std::chrono::steady_clock::now();
                }
                std::this_thread::sleep_until(**started + std::chrono::microseconds(offset * 1'000'000 / rate));
            }
            input->seekg(std::streamoff(first + offset));
            input->read(buffer->data(), std::streamsize(chunk));
            return input->gcount() == std::streamsize(chunk) && sink.write(buffer->data(), chunk);
        });
}

} // namespace studio
