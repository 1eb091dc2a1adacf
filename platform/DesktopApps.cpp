#include "platform/DesktopApps.h"

#include <QFileInfo>
#include <QMimeDatabase>

// GIO's headers name a structure member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace {

QString fromUtf8(const char* text) { return text ? QString::fromUtf8(text) : QString(); }

// The Traditional Chinese name when the entry has one: GIO would pick the session locale's,
// which need not be the language of a program run in a C or English session.
QString displayName(GAppInfo* info)
{
    const char* path = G_IS_DESKTOP_APP_INFO(info) ? g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(info)) : nullptr;
    if (path) {
        // GIO keeps only the session locale's translations; the file is read again with all.
        GKeyFile* file = g_key_file_new();
        QString name;
        if (g_key_file_load_from_file(file, path, G_KEY_FILE_KEEP_TRANSLATIONS, nullptr)) {
            for (const char* key : {"Name[zh_TW]", "Name[zh_Hant]", "Name[zh_HK]", "Name[zh]"}) {
                if (gchar* value = g_key_file_get_string(file, G_KEY_FILE_DESKTOP_GROUP, key, nullptr)) {
                    name = QString::fromUtf8(value);
                    g_free(value);
                    break;
                }
            }
        }
        g_key_file_free(file);
        if (!name.isEmpty())
            return name;
    }
    return fromUtf8(g_app_info_get_name(info));
}

DesktopApp appOf(GAppInfo* info)
{
    DesktopApp app;
    app.id = fromUtf8(g_app_info_get_id(info));
    app.name = displayName(info);
    app.exec = fromUtf8(g_app_info_get_commandline(info));
    if (GIcon* icon = g_app_info_get_icon(info)) {
        gchar* text = g_icon_to_string(icon);
        app.icon = fromUtf8(text);
        g_free(text);
    }
    if (G_IS_DESKTOP_APP_INFO(info))
        app.filePath = fromUtf8(g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(info)));
    return app;
}

// An application GIO still knows it by, for launching or choosing it: by its file when it
// has one, else by its command line. The caller unrefs.
GAppInfo* infoOf(const DesktopApp& app)
{
    if (!app.filePath.isEmpty())
        return G_APP_INFO(g_desktop_app_info_new_from_filename(app.filePath.toUtf8().constData()));
    if (!app.id.isEmpty())
        return G_APP_INFO(g_desktop_app_info_new(app.id.toUtf8().constData()));
    if (app.exec.isEmpty())
        return nullptr;
    return g_app_info_create_from_commandline(app.exec.toUtf8().constData(), app.name.toUtf8().constData(),
                                              G_APP_INFO_CREATE_NONE, nullptr);
}

void setError(QString* error, GError* failure)
{
    if (error)
        *error = failure ? QString::fromUtf8(failure->message) : QString();
    if (failure)
        g_error_free(failure);
}

// The content type GIO uses for a MIME type (the same on Linux, but GIO says so).
gchar* contentType(const QString& mimeType)
{
    return g_content_type_from_mime_type(mimeType.toUtf8().constData());
}

} // namespace

namespace DesktopApps {

QString MimeTypeOfFile(const QString& nativePath)
{
    return QMimeDatabase().mimeTypeForFile(nativePath).name();
}

QString MimeTypeOfName(const QString& fileName)
{
    return QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension).name();
}

std::optional<DesktopApp> Load(const QString& id)
{
    GDesktopAppInfo* info = g_desktop_app_info_new(id.toUtf8().constData());
    if (!info)
        return std::nullopt;
    DesktopApp app = appOf(G_APP_INFO(info));
    g_object_unref(info);
    return app;
}

std::optional<DesktopApp> LoadFile(const QString& path)
{
    GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(path.toUtf8().constData());
    if (!info)
        return std::nullopt;
    DesktopApp app = appOf(G_APP_INFO(info));
    g_object_unref(info);
    if (app.id.isEmpty())
        app.id = QFileInfo(path).fileName();
    return app;
}

std::optional<DesktopApp> FromProgram(const QString& program)
{
    const QFileInfo file(program);
    if (!file.isFile() || !file.isExecutable())
        return std::nullopt;
    DesktopApp app;
    app.name = file.fileName();
    // Quoted for the command line GIO splits; it adds the file argument itself.
    gchar* quoted = g_shell_quote(file.absoluteFilePath().toUtf8().constData());
    app.exec = QString::fromUtf8(quoted);
    g_free(quoted);
    return app;
}

QList<DesktopApp> ApplicationsFor(const QString& mimeType)
{
    QList<DesktopApp> apps;
    QStringList seen;
    auto add = [&](GAppInfo* info) {
        const QString id = fromUtf8(g_app_info_get_id(info));
        if (seen.contains(id) || !g_app_info_should_show(info))
            return;
        seen << id;
        apps << appOf(info);
    };
    gchar* type = contentType(mimeType);
    if (GAppInfo* fallback = g_app_info_get_default_for_type(type, FALSE)) {
        add(fallback);
        g_object_unref(fallback);
    }
    // Every application for the type: the recommended ones (for the type itself) first,
    // then those of its parent types.
    GList* all = g_app_info_get_all_for_type(type);
    for (GList* node = all; node; node = node->next)
        add(G_APP_INFO(node->data));
    g_list_free_full(all, g_object_unref);
    g_free(type);
    return apps;
}

std::optional<DesktopApp> DefaultFor(const QString& mimeType)
{
    const QList<DesktopApp> apps = ApplicationsFor(mimeType);
    if (apps.isEmpty())
        return std::nullopt;
    return apps.front();
}

bool Launch(const DesktopApp& app, const QStringList& nativeFiles, QString* error)
{
    GAppInfo* info = infoOf(app);
    if (!info) {
        if (error)
            *error = QStringLiteral("%1: no such application").arg(app.id.isEmpty() ? app.exec : app.id);
        return false;
    }
    GList* files = nullptr;
    for (const QString& path : nativeFiles)
        files = g_list_append(files, g_file_new_for_path(path.toUtf8().constData()));
    GAppLaunchContext* context = g_app_launch_context_new();
    GError* failure = nullptr;
    const bool started = g_app_info_launch(info, files, context, &failure);
    setError(error, failure);
    g_object_unref(context);
    g_list_free_full(files, g_object_unref);
    g_object_unref(info);
    return started;
}

bool SetDefaultFor(const DesktopApp& app, const QString& mimeType, QString* error)
{
    GAppInfo* info = infoOf(app);
    if (!info)
        return false;
    gchar* type = contentType(mimeType);
    GError* failure = nullptr;
    const bool set = g_app_info_set_as_default_for_type(info, type, &failure);
    setError(error, failure);
    g_free(type);
    g_object_unref(info);
    return set;
}

} // namespace DesktopApps
