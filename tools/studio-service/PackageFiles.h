#pragma once
// The files the service hands out: built from the catalogue once into a cache folder
// (a rebuild only when an entry changes, so later starts are fast) and served under
// "packages/<fileName>" with byte ranges, as the studio's download host does.

#include "Catalogue.h"

#include <QMap>
#include <QString>

#include <httplib.h>

namespace studio {

class PackageFiles final {
public:
    /// Builds, or finds already built in `cacheFolder`, every file of the catalogue;
    /// throws std::runtime_error when one cannot be written.
    PackageFiles(const Catalogue &catalogue, const QString &cacheFolder);

    /// The path of `fileName` on disk; empty when the catalogue has no such file.
    QString path(const QString &fileName) const { return m_paths.value(fileName); }

    /// Serves GET and HEAD of "/packages/<fileName>".
    void route(httplib::Server &server) const;

private:
    void serve(const httplib::Request &request, httplib::Response &response) const;

    QMap<QString, QString> m_paths;
};

} // namespace studio
