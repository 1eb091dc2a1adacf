#include "ui/Fonts.h"

#include <QFontInfo>
#include <QStringList>

void InstallFontSubstitutions()
{
    const QString sans = QString::fromLatin1(kHanFallbackFamily);
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), {sans});
    QFont::insertSubstitutions(QStringLiteral("Small Fonts"), {sans});
    QFont::insertSubstitutions(QStringLiteral("新細明體"), {QStringLiteral("Noto Serif CJK TC"), sans});
    QFont::insertSubstitutions(QStringLiteral("細明體"), {QStringLiteral("Noto Serif CJK TC"), sans});
}

QFont SettingsFont(const std::string& name, int pointSize)
{
    QFont font;
    QStringList families;
    if (!name.empty())
        families << QString::fromStdString(name);
    families << QString::fromLatin1(kHanFallbackFamily);
    font.setFamilies(families);
    if (pointSize > 0)
        font.setPointSize(pointSize);
    return font;
}

QFont InstalledFont(const QFont& font)
{
    const QFontInfo info(font);
    QFont result(font);
    result.setFamilies({info.family()});
    result.setStyleName(info.styleName());
    result.setPointSize(info.pointSize() > 0 ? info.pointSize() : font.pointSize());
    return result;
}
