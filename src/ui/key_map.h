// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QPointF>
#include <QWidget>
#include <optional>
#include <vector>

#include "harmony/note.h"

namespace sonavela::ui {

// The keys the progression moves through, drawn as the circle of fifths of
// the search's 16 major keys with their relative minors inside: the home key
// ringed, the key of the moment lit, and the path of the excursion under way
// drawn from home to it.
class KeyMap final : public QWidget {
 public:
  static inline const QColor kPlainFill{0xEE, 0xEE, 0xEA};
  static inline const QColor kPathFill{0xF6, 0xD8, 0xA8};
  static inline const QColor kCurrentFill{0xE8, 0x7A, 0x1E};
  static inline const QColor kHomeRing{0x1F, 0x4E, 0x8C};
  static inline const QColor kPathLine{0xC8, 0x5A, 0x10};

  explicit KeyMap(QWidget* parent = nullptr);

  // `path` runs from home to the current key; a current key of none lights
  // nothing.
  void Show(harmony::Key home, std::optional<harmony::Key> current, std::vector<harmony::Key> path,
            const QString& centre);

  // Where the disc of `key` lies and how large it is, in widget
  // coordinates; none for a key that is not on the map.
  [[nodiscard]] std::optional<QPointF> KeyCentre(harmony::Key key) const;
  [[nodiscard]] double DiscRadius() const;

  [[nodiscard]] QSize sizeHint() const override { return {420, 420}; }
  [[nodiscard]] QSize minimumSizeHint() const override { return {240, 240}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  harmony::Key home_{{'C', 0}, ' '};
  std::optional<harmony::Key> current_;
  std::vector<harmony::Key> path_;
  QString centre_;
};

}  // namespace sonavela::ui
