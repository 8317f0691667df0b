#pragma once

#include <QString>

// Every address the program opens lives here.
namespace links {

inline const QString HomePage = QStringLiteral("https://brightfen.github.io/ambrylog/");
inline const QString OtherProducts = QStringLiteral("https://brightfen.github.io/products/");
inline const QString Newsletter = QStringLiteral("https://brightfen.github.io/newsletter/");
inline const QString Resellers = QStringLiteral("https://brightfen.github.io/resellers/");
inline const QString SupportMail = QStringLiteral("support@brightfen.example");

inline const QString ManualFileName = QStringLiteral("manual.html");
inline const QString HelpAnchor = QStringLiteral("help");
inline const QString FaqAnchor = QStringLiteral("faq");

// The installed user manual: next to the executable (build tree), in ../share/ambrylog beside
// it (relocated install), or in the configured install prefix; empty when none is there.
QString manualPath();
// The manual at the given anchor as a file URL; the home page at that anchor when the
// manual is not installed, so the command still leads somewhere useful.
QString manualUrl(const QString &anchor);

} // namespace links
