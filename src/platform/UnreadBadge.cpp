#include "platform/UnreadBadge.h"

#include "platform/Dispatch.h"
#include "platform/PlatformResources.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QSystemTrayIcon>

namespace platform {

// Docks that start after the count was last announced ask the entry for it with Query.
class LauncherEntryObject : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.Unity.LauncherEntry")
public:
    explicit LauncherEntryObject(UnreadBadge* badge)
        : QObject(badge)
        , badge_(badge)
    {
    }

public slots:
    Q_SCRIPTABLE QVariantMap Query() { return badge_->launcherProperties(); }

private:
    UnreadBadge* badge_;
};

UnreadBadge& UnreadBadge::shared()
{
    static QPointer<UnreadBadge> badge;
    static UnreadBadge* orphan = nullptr; // only when there is no application object
    auto make = [] {
        if (!badge)
            badge = new UnreadBadge(QDBusConnection::sessionBus(), QCoreApplication::instance());
    };
    if (!QCoreApplication::instance()) {
        if (!orphan)
            orphan = new UnreadBadge(QDBusConnection::sessionBus());
        return *orphan;
    }
    // The badge belongs to the main thread (its tray icon and its bus object live there).
    if (isMainThread())
        make();
    else
        dispatchMainSync(make);
    if (!badge) { // the application is shutting down: a badge nobody sees
        if (!orphan)
            orphan = new UnreadBadge(QDBusConnection(QStringLiteral("plumet-no-bus")));
        return *orphan;
    }
    return *badge;
}

UnreadBadge::UnreadBadge(const QDBusConnection& connection, QObject* parent)
    : QObject(parent)
    , connection_(connection)
{
    if (connection_.isConnected()) {
        entry_ = new LauncherEntryObject(this);
        connection_.registerObject(QString::fromLatin1(kObjectPath), entry_, QDBusConnection::ExportScriptableSlots);
    }
}

UnreadBadge::~UnreadBadge()
{
    if (entry_ && connection_.isConnected())
        connection_.unregisterObject(QString::fromLatin1(kObjectPath));
    delete tray_;
}

QVariantMap UnreadBadge::launcherProperties() const
{
    QVariantMap properties;
    properties.insert(QStringLiteral("count"), QVariant::fromValue(qint64(count_)));
    properties.insert(QStringLiteral("count-visible"), !label_.isEmpty());
    return properties;
}

void UnreadBadge::setUnreadCount(qulonglong n)
{
    if (!isMainThread() && QCoreApplication::instance()) {
        QPointer<UnreadBadge> self(this);
        dispatchMainAsync([self, n] {
            if (self)
                self->setUnreadCount(n);
        });
        return;
    }
    setBadgeLabel(n == 0 ? QString() : QString::number(n));
}

void UnreadBadge::setBadgeLabel(const QString& label)
{
    if (label == label_)
        return;
    label_ = label;
    bool ok = false;
    const qulonglong n = label.toULongLong(&ok);
    // A label that is not a number still shows; the launcher then shows no number but the entry stays marked.
    count_ = ok ? n : (label.isEmpty() ? 0 : 1);
    publish();
    emit badgeLabelChanged(label_);
}

void UnreadBadge::publish()
{
    if (connection_.isConnected()) {
        QDBusMessage signal = QDBusMessage::createSignal(
            QString::fromLatin1(kObjectPath), QStringLiteral("com.canonical.Unity.LauncherEntry"),
            QStringLiteral("Update"));
        signal << QString::fromLatin1(kAppUri) << launcherProperties();
        connection_.send(signal);
    }
    if (tray_) {
        tray_->setIcon(QIcon(QPixmap::fromImage(badgedImage(applicationImage(), label_))));
        tray_->setToolTip(label_.isEmpty() ? QStringLiteral("Plumet") : QStringLiteral("Plumet (%1)").arg(label_));
    }
}

void UnreadBadge::setTrayIconEnabled(bool enabled)
{
    if (!enabled) {
        delete tray_;
        tray_ = nullptr;
        return;
    }
    if (tray_ || !QSystemTrayIcon::isSystemTrayAvailable())
        return;
    tray_ = new QSystemTrayIcon;
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            emit trayActivated();
    });
    publish();
    tray_->show();
}

QImage UnreadBadge::applicationImage()
{
    QImage image(applicationIconPath());
    if (image.isNull()) {
        image = QImage(64, 64, QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(0x2b, 0x6c, 0xb0));
    }
    return image;
}

QImage UnreadBadge::badgedImage(const QImage& base, const QString& label)
{
    QImage image = base.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (label.isEmpty() || image.isNull())
        return image;

    const qreal w = image.width();
    const qreal h = image.height();
    QFont font;
    font.setBold(true);
    font.setPixelSize(qMax(6, qRound(h * 0.30)));
    const QFontMetricsF metrics(font);
    const qreal capsuleHeight = qMax(metrics.height() + 2.0, h * 0.42);
    const qreal capsuleWidth = qMin(w, qMax(capsuleHeight, metrics.horizontalAdvance(label) + capsuleHeight * 0.6));
    const QRectF capsule(w - capsuleWidth, 0.0, capsuleWidth, capsuleHeight);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QPainterPath path;
    path.addRoundedRect(capsule.adjusted(1, 1, -1, -1), capsuleHeight / 2, capsuleHeight / 2);
    painter.fillPath(path, QColor(0xd9, 0x22, 0x1c));
    painter.setPen(QPen(Qt::white, qMax(1.0, h / 32.0)));
    painter.drawPath(path);
    painter.setFont(font);
    painter.drawText(capsule, Qt::AlignCenter, label);
    return image;
}

} // namespace platform

#include "UnreadBadge.moc"
