"""The page's sheet: axes and texts placed in inches from the top left, so
that slices can be drawn to scale and the page grows with what it shows."""

PAGE_WIDTH = 13.0
LEFT = 0.9            # room for the vertical axis' labels
PLANE_WIDTH = 8.0     # widest along-wind slice
SIDE_LEFT = 10.15     # cross-section or histogram
SIDE_WIDTH = 2.5
ROW_MIN = 0.4         # thinnest row of a slice cut into rows
PLANE_MAX = 3.0       # tallest slice
ROWS_MAX = 4
TITLE = 0.3
XLABEL = 0.5
ROW_GAP = 0.3
SIDE_MIN = 1.5        # the side panel is at least this tall


class Sheet:
    """Axes and texts placed in inches from the top left of the page, whose
    height is known only once everything is placed (finish)."""

    def __init__(self, fig):
        self.fig, self.placed = fig, []

    def axes(self, left, top, width, height, **kw):
        ax = self.fig.add_axes([0, 0, 1, 1], **kw)
        self.placed.append((ax, left, top, width, height))
        return ax

    def text(self, left, top, s, **kw):
        t = self.fig.text(0, 0, s, va="top", **kw)
        self.placed.append((t, left, top, None, None))
        return t

    def finish(self, page_height):
        self.fig.set_size_inches(PAGE_WIDTH, page_height)
        for item, left, top, width, height in self.placed:
            if height is None:
                item.set_position((left / PAGE_WIDTH, 1 - top / page_height))
            else:
                item.set_position([left / PAGE_WIDTH, 1 - (top + height) / page_height,
                                   width / PAGE_WIDTH, height / page_height])
