#pragma once

#include "cells/ListKind.h"

#include <QString>

#include <memory>

class TimelineCellBase;

// What a cell data object asks of the list that holds it. The timeline controller (PXListViewController)
// implements it; tests provide stand-ins. Every member is called on the main thread.
class CellListController {
public:
    virtual ~CellListController();

    // The width for which row heights are computed (the text view's width).
    virtual double cellWidth() const = 0;
    // The kind of list: the endpoint path that names it ("/statuses/comments_to_me", ...).
    virtual QString identifier() const = 0;
    // What that kind of list is (the list's entry of the kind table).
    virtual const ListKind& kind() const { return listKind(identifier()); }
    // A cell started an asynchronous load whose end will call defferedReloadData: raises
    // countdownToReloadData by one.
    virtual void beginImageLoad() = 0;
    // Lowers countdownToReloadData by one and reloads the list when it reaches 0.
    virtual void defferedReloadData() = 0;
    // An avatar of `cell` arrived: when the cell is a row of the list (rowForCell) and that row is visible,
    // reload the list view.
    virtual void reloadIfCellVisible(const TimelineCellBase& cell) = 0;

    // Expires when the controller is destroyed, so that a load that ends later does not call into it.
    std::weak_ptr<void> lifetime() const { return lifetime_; }

protected:
    CellListController() = default;
    CellListController(const CellListController&) = delete;
    CellListController& operator=(const CellListController&) = delete;

private:
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};
