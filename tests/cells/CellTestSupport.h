#pragma once
// One GUI application for the whole test program (fonts and text layout need it), settings in a folder of the
// program's own, a cell context and list stand-ins, record builders and waiting with a deadline.
#include "../support/TestSupport.h"
#include "cells/AttributedString.h"
#include "cells/CellContext.h"
#include "cells/CellListController.h"
#include "cells/MyTextAttachmentCell.h"
#include "model/WeiboParser.h"
#include "platform/UserDefaults.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

class CellTestApp : public ::testing::Environment {
public:
    void SetUp() override
    {
        testsupport::ApplicationOptions options;
        options.name = "plumet-cells-tests";
        options.settingsFile = true;
        options.make = [](int& argc, char** argv) -> QCoreApplication* { return new QGuiApplication(argc, argv); };
        testsupport::setUpApplication(options);
    }
    void TearDown() override { testsupport::tearDownApplication(); }
    static QString folder() { return testsupport::root(); }
};

// A list as the cells see it: its width and kind, and a count of what the cells asked of it.
class FakeList : public CellListController {
public:
    explicit FakeList(const QString& id = QStringLiteral("/statuses/friends_timeline"), double width = 400)
        : width_(width), id_(id)
    {
    }
    double cellWidth() const override { return width_; }
    QString identifier() const override { return id_; }
    void beginImageLoad() override
    {
        ++countdown;
        ++started;
    }
    void defferedReloadData() override
    {
        --countdown;
        if (countdown == 0)
            ++reloads;
    }
    void reloadIfCellVisible(const TimelineCellBase&) override { ++visibleReloads; }

    void setWidth(double w) { width_ = w; }

    int countdown = 0;
    int started = 0;
    int reloads = 0;
    int visibleReloads = 0;

private:
    double width_;
    QString id_;
};

// Installs a fresh standard context (signed in as `self`) for the test's lifetime.
class ScopedContext {
public:
    explicit ScopedContext(uint64_t self = 1000)
    {
        context.setSelfUserId(self);
        context.setWebHost(QStringLiteral("http://127.0.0.1:9")); // nothing listens: lookups fail at once
        CellContext::setCurrent(&context);
    }
    ~ScopedContext() { CellContext::setCurrent(nullptr); }
    StandardCellContext context;
};

inline boost::shared_ptr<weibo::WBUser> makeUser(uint64_t id, const std::string& name, bool verified = false)
{
    auto user = boost::make_shared<weibo::WBUser>();
    user->id = id;
    user->screen_name = name;
    user->verified = verified;
    user->profile_image_url = "http://127.0.0.1:9/avatar/" + std::to_string(id) + ".png";
    return user;
}

inline boost::shared_ptr<weibo::WBStatus> makeStatus(uint64_t id, const boost::shared_ptr<weibo::WBUser>& user,
                                                     const std::string& text)
{
    auto status = boost::make_shared<weibo::WBStatus>();
    status->id = id;
    status->user = user;
    status->text = text;
    status->created_at = "Wed Aug 27 13:08:45 +0800 2008";
    status->source = "<a href=\"http://127.0.0.1:8470/apps/plumet\" rel=\"nofollow\">Plumet</a>";
    return status;
}

// Item text with its pictures written out: an application picture as <name:type>, any other as <?:type>,
// an emotion or emoji as <code:0>.
inline QString shown(const AttributedString& text)
{
    static const char* const names[] = {"reply_icon.png", "forword_icon.png", "cell_favorite.png",
                                        "cell_favorite_highlight.png", "remove.png", "broken.png"};
    QString out;
    const QString s = text.string();
    for (int i = 0; i < s.size(); ++i) {
        const auto cell = text.attachmentAt(i);
        if (!cell) {
            out += s.at(i);
            continue;
        }
        QString name = cell->fileName().isEmpty() ? QStringLiteral("?") : cell->fileName();
        for (const char* n : names) {
            if (cell->image().cacheKey() == cellResourceImage(QString::fromLatin1(n)).cacheKey())
                name = QString::fromLatin1(n);
        }
        out += u'<' + name + u':' + QString::number(cell->type()) + u'>';
    }
    return out;
}

// A small PNG of the given size and colour.
inline QByteArray pngBytes(int w, int h, QColor color = Qt::blue)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}
