#pragma once
// The files the service hands out: built from the catalogue once into a cache folder
// (a rebuild only when an entry changes, so later starts are fast) and served under
// "packages/<fileName>" with byte ranges, as the studio's download host does.

#include "Catalogue.h"

#include <QMap>
#include <QString>

#include <httplib.h>

#include <cstdint>

namespace studio {

class PackageFiles final {
public:
    /// Builds, or finds already built in `cacheFolder`, every file of the catalogue;
    /// throws std::runtime_error when one cannot be written.
    PackageFiles(const Catalogue &catalogue, const QString &cacheFolder);

    /// Sends each file's bytes no faster than this (0: as fast as the connection takes
    /// them), so that a test can act while a download is surely still running.
    void setBytesPerSecond(std::uint64_t rate) { m_bytesPerSecond = rate; }

    /// The path of `fileName` on disk; empty when the catalogue has no such file.
    QString path(const QString &fileName) const { return m_paths.value(fileName); }

    /// Serves GET and HEAD of "/packages/<fileName>".
    void route(httplib::Server &server) const;

private:
    void serve(const httplib::Request &request, httplib::Response &response) const;

    QMap<QString, QString> m_paths;
    std::uint64_t m_bytesPerSecond = 0;
};

} // namespace studio
