#!/usr/bin/python3
"""A small browser on QtWebKit for the engine tests: it loads one page with plug-ins enabled (found
through MOZ_PLUGIN_PATH) and, once a page it ends up on sets its title to "done", prints what that
page left in window.engineResults as one line of JSON and exits 0. It exits 1 when no page is done
within the time given. Needs an X server (xvfb-run); Debian's /usr/bin/python3 with
python3-pyqt5.qtwebkit.

    browser.py URL [SECONDS]
"""
import sys

from PyQt5.QtCore import QTimer, QUrl
from PyQt5.QtWebKit import QWebSettings
from PyQt5.QtWebKitWidgets import QWebPage, QWebView
from PyQt5.QtWidgets import QApplication


class Page(QWebPage):
    def javaScriptConsoleMessage(self, message, line, source):
        print("console: %s (%s:%d)" % (message, source, line), file=sys.stderr)


def main():
    url = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 60
    app = QApplication(sys.argv[:1])
    settings = QWebSettings.globalSettings()
    settings.setAttribute(QWebSettings.PluginsEnabled, True)
    settings.setAttribute(QWebSettings.JavascriptEnabled, True)
    view = QWebView()
    page = Page(view)
    view.setPage(page)
    outcome = {"code": 1}

    def title_changed(title):
        if title != "done" or outcome["code"] == 0:
            return
        print(page.mainFrame().evaluateJavaScript("JSON.stringify(window.engineResults)"), flush=True)
        outcome["code"] = 0
        app.quit()

    def timed_out():
        print("browser: no page was done within %g s" % seconds, file=sys.stderr)
        app.quit()

    view.titleChanged.connect(title_changed)
    QTimer.singleShot(int(seconds * 1000), timed_out)
    view.resize(640, 480)
    view.show()
    view.load(QUrl(url))
    app.exec_()
    # The page goes first (its plug-in instances with it), then the application.
    view.setPage(None)
    del page, view
    return outcome["code"]


if __name__ == "__main__":
    sys.exit(main())
