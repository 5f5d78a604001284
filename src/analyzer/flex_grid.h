#pragma once
// A grid with a fixed heading row and title column, addressed like the design's
// grids: TextMatrix(row, col), a format string for the headings, column widths
// in twips and a current cell.
#include <QTableWidget>
#include <string_view>

#include "base/rgb.h"

namespace orlix::analyzer {

class FlexGrid : public QTableWidget {
    Q_OBJECT
public:
    FlexGrid(int rows, int cols, QWidget* parent = nullptr);

    QString textMatrix(int row, int col) const;
    // Writes a cell; a cell outside the grid is simply not written.
    void setTextMatrix(int row, int col, const QString& text);

    // Heading texts: "a|b|c" titles the columns of row 0 from column 0 on;
    // ";a|b|c" titles the rows of column 0 from row 0 on; both parts may be
    // given. A leading '<', '^' or '>' on a column heading is an alignment
    // mark and not part of the text.
    void applyFormatString(std::string_view format);

    void setColWidthTwips(int col, int twips);
    void setCellEmphasis(int row, int col, bool bold, const Rgb* color);
    bool cellBold(int row, int col) const;

    int row() const { return currentRow(); }
    int col() const { return currentColumn(); }
    void setCurrentCell(int row, int col) { QTableWidget::setCurrentCell(row, col); }

    // A heading cell is drawn like a fixed cell of the design's grid.
    bool isFixed(int row, int col) const { return row == 0 || col == 0; }

protected:
    // The heading row and title column never hold the current cell: a click
    // there makes the nearest ordinary cell current, as a fixed cell would.
    void mousePressEvent(QMouseEvent* e) override;

private:
    QTableWidgetItem* cell(int row, int col);
};

}  // namespace orlix::analyzer
