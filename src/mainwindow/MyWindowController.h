#pragma once
#include "service/WeiboAPI.h"

#include <QMainWindow>

#include <boost/shared_ptr.hpp>

class MyWindowController : public QMainWindow {
    Q_OBJECT
public:
    MyWindowController(const QString& windowNibName, boost::shared_ptr<weibo::SinaWeibo> weiboInstance,
                       QWidget* parent = nullptr);

    void showWindow();
    void cleanup();

public slots:
    void fontSettingChanged();

private:
    boost::shared_ptr<weibo::SinaWeibo> weibo_;
};
