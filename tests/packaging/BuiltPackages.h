#pragma once

#include <QString>
#include <QStringList>

// The packages that the fixture package_build made from this build with scripts/package, and the
// commands that look into them.
class BuiltPackages
{
public:
    struct Output
    {
        int exitCode = -1;
        QString standardOutput;
        QString standardError;
    };

    // Throws std::runtime_error when the changelog cannot be read.
    BuiltPackages();

    QString version() const { return m_version; }
    // The path of the .deb of a package, e.g. "ovtrack-loader".
    QString deb(const QString &package) const;
    // A control field ("Depends") or a control file ("conffiles") of a package.
    QString field(const QString &package, const QString &name) const;
    QString controlFile(const QString &package, const QString &name) const;
    // "mode owner path [-> target]" for every entry of the data archive, path without the "./".
    QStringList contents(const QString &package) const;
    // Unpacks the package into the folder as dpkg would, without running its scripts, then points
    // its absolute links into the folder: the tree works as if the folder were the root.
    void unpack(const QString &package, const QString &folder) const;

    static Output run(const QString &program, const QStringList &arguments,
                      const QStringList &environment = {});

private:
    QString m_dist;
    QString m_version;
};
