// What a kept picture depends on, as numbers: the picture is drawn again when any
// of them changes. Every kept picture of the window says so this way.
#pragma once

#include <QPaintDevice>
#include <QStyleOption>
#include <QWidget>
#include <initializer_list>
#include <vector>

namespace tally {

class Look {
  public:
    Look() = default;
    Look(std::initializer_list<qint64> parts) : parts_(parts) {}
    // What every picture of a widget depends on: its size, pixel ratio, palette,
    // style, state and direction.
    static Look Of(const QWidget& widget) {
        return {widget.width(),
                widget.height(),
                qRound64(widget.devicePixelRatioF() * 100),
                widget.palette().cacheKey(),
                reinterpret_cast<qint64>(widget.style()),
                (widget.isEnabled() ? 1 : 0) | (widget.isActiveWindow() ? 2 : 0),
                widget.layoutDirection()};
    }
    // The same of what a style draws for an option onto `device`.
    static Look Of(const QStyleOption& option, const QPaintDevice* device) {
        return {option.rect.width(),
                option.rect.height(),
                qRound64((device != nullptr ? device->devicePixelRatioF() : 1.0) * 100),
                option.palette.cacheKey(),
                static_cast<qint64>(option.state),
                option.direction};
    }

    Look& operator<<(qint64 part) {
        parts_.push_back(part);
        return *this;
    }
    Look& operator<<(const Look& more) {
        parts_.insert(parts_.end(), more.parts_.begin(), more.parts_.end());
        return *this;
    }
    bool operator==(const Look& other) const { return parts_ == other.parts_; }
    bool operator!=(const Look& other) const { return parts_ != other.parts_; }
    bool operator<(const Look& other) const { return parts_ < other.parts_; }
    // One number for all, to name the picture in a shared cache.
    std::size_t Hash() const {
        std::size_t hash = 0;
        for (const qint64 part : parts_)
            hash = hash * 1000003u ^ static_cast<std::size_t>(part);
        return hash;
    }

  private:
    std::vector<qint64> parts_;
};

}  // namespace tally
