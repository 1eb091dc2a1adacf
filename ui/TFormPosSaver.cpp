#include "ui/TFormPosSaver.h"

#include "platform/RegistryFile.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>
#include <exception>

namespace {

constexpr int kMinimumSize = 100;

bool readPlacement(Registry& registry, QRect& placement)
{
    for (const char* name : {"Top", "Left", "Width", "Height"})
        if (registry.valueType(name) != RegType::DWord)
            return false;
    // Stored as the dword of a signed number: a window left of the primary screen is negative.
    placement = QRect(int32_t(registry.readInteger("Left")), int32_t(registry.readInteger("Top")),
                      int32_t(registry.readInteger("Width")), int32_t(registry.readInteger("Height")));
    return placement.width() >= kMinimumSize && placement.height() >= kMinimumSize;
}

bool onSomeScreen(const QRect& placement)
{
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry().intersects(placement))
            return true;
    return false;
}

} // namespace

TFormPosSaver::TFormPosSaver(QWidget* form, std::string key)
    : QObject(form)
    , m_form(form)
    , m_key(std::move(key))
{
    setObjectName(QStringLiteral("FormPosSaver"));
}

void TFormPosSaver::restore()
{
    try {
        Registry registry;
        if (!registry.openKey(m_key, false))
            return;
        QRect placement;
        // A window restored off every screen could not be reached again: keep the default.
        if (readPlacement(registry, placement) && onSomeScreen(placement)) {
            m_form->resize(placement.size());
            m_form->move(placement.topLeft());
        }
        for (int n = 1; n <= 3; ++n) {
            const std::string name = "ExtraParam" + std::to_string(n);
            m_extraParams[n - 1] = registry.valueType(name) == RegType::String ? registry.readString(name) : std::string();
        }
    } catch (const std::exception&) {
        // A damaged placement is not worth a message: the window opens where it would anyway.
    }
}

bool TFormPosSaver::save()
{
    try {
        Registry registry;
        if (!registry.openKey(m_key, true))
            return false;
        const QRect placement(m_form->pos(), m_form->size());
        registry.writeInteger("Top", uint32_t(placement.top()));
        registry.writeInteger("Left", uint32_t(placement.left()));
        registry.writeInteger("Width", uint32_t(placement.width()));
        registry.writeInteger("Height", uint32_t(placement.height()));
        for (int n = 1; n <= 3; ++n)
            registry.writeString("ExtraParam" + std::to_string(n), m_extraParams[n - 1]);
        return registry.flush();
    } catch (const std::exception&) {
        return false;
    }
}
