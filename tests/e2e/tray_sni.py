#!/usr/bin/python3
"""The tray icon as a StatusNotifierItem host sees it. Run under dbus-run-session with the program folder as
argument: this script is the watcher and the host on that private bus; the real program, on its own Xvfb, goes to
the tray through "タスク"; the host reads the item's title and exported menu, clicks the icon both ways (each call
must be answered at once, whatever the program opens) and ends the program through the exported "終了"."""
import ctypes, os, select, shutil, signal, subprocess, sys, tempfile, time

try:
    import dbus
    import dbus.service
    from dbus.mainloop.glib import DBusGMainLoop
    from gi.repository import GLib
except ImportError as missing:
    print('SKIP: needs python3-dbus and python3-gi:', missing)
    sys.exit(77)

WATCHER, ITEM, MENU = 'org.kde.StatusNotifierWatcher', 'org.kde.StatusNotifierItem', 'com.canonical.dbusmenu'


class Watcher(dbus.service.Object):
    @dbus.service.method(WATCHER, in_signature='s')
    def RegisterStatusNotifierItem(self, service):
        os.write(items_in, service.encode() + b'\n')

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='ss', out_signature='v')
    def Get(self, interface, name):
        return {'IsStatusNotifierHostRegistered': True}[name]

    # Qt reads the properties through introspection, so they must be published.
    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, out_signature='s')
    def Introspect(self):
        return (f'<node><interface name="{WATCHER}"><property name="IsStatusNotifierHostRegistered" type="b" '
                'access="read"/></interface></node>')


def fail(why):
    print('FAIL:', why)
    if program.poll() is None:
        program.kill()
    print(open(work + '/program.log', errors='replace').read())
    sys.exit(1)


def xdotool(*args):
    return subprocess.run(['xdotool', *args], env=env, capture_output=True, text=True).stdout.split()


def popup_open():  # the only window left to show; its X class must stay "poronica"
    return xdotool('search', '--onlyvisible', '--class', '^poronica$')


def wait(condition, seconds=5):
    end = time.monotonic() + seconds
    while not condition() and time.monotonic() < end:
        time.sleep(0.1)
    return condition()


with_parent = dict(preexec_fn=lambda: ctypes.CDLL(None).prctl(1, signal.SIGKILL))  # PR_SET_PDEATHSIG
items_out, items_in = os.pipe()
if os.fork() == 0:  # the watcher, in a process of its own: it must answer while the host waits for the program
    with_parent['preexec_fn']()
    DBusGMainLoop(set_as_default=True)
    name = dbus.service.BusName(WATCHER, dbus.SessionBus())
    Watcher(name.get_bus(), '/StatusNotifierWatcher')
    GLib.MainLoop().run()
bus = dbus.SessionBus()
work = tempfile.mkdtemp(dir=os.getcwd())
folder = shutil.copytree(sys.argv[1], work + '/program', ignore=shutil.ignore_patterns('★MailData'))
os.mkdir(folder + '/★MailData')
open(folder + '/vbmail.ini', 'wb').write(b'SMTP=\r\nPOP3=127.0.0.1:110\r\nMAIL=\r\nAPOP=0\r\n')
open(folder + '/★MailData/iniIdPass.ini', 'wb').write(b'[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\n')
read, write = os.pipe()
xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(write), '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'],
                        pass_fds=[write], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **with_parent)
env = dict(os.environ, DISPLAY=':' + os.read(read, 16).decode().strip(), QT_QPA_PLATFORM='xcb', LANG='C.UTF-8',
           HOME=work, XDG_RUNTIME_DIR=work, XDG_CONFIG_HOME=work, XDG_CACHE_HOME=work)
program = subprocess.Popen([folder + '/poronica'], cwd=folder, env=env, stdout=open(work + '/program.log', 'wb'),
                           stderr=subprocess.STDOUT, **with_parent)
try:
    main = wait(lambda: xdotool('search', '--onlyvisible', '--name', '^ポロニカ$'), 15) or fail('no main window')
    xdotool('mousemove', '--window', main[0], '204', '232', 'click', '1')  # "タスク"
    select.select([items_out], [], [], 10)[0] or fail('no item was registered with the watcher')
    service = os.read(items_out, 200).decode().split()[0]
    time.sleep(0.5)  # as a person would: a popup that opens while the main window hides is closed at once
    item = bus.get_object(service, '/StatusNotifierItem')
    title = item.Get(ITEM, 'Title', dbus_interface=dbus.PROPERTIES_IFACE)
    title == 'ポロニカ' or fail(f'the title is {title!r}')
    path = item.Get(ITEM, 'Menu', dbus_interface=dbus.PROPERTIES_IFACE)
    path != '/NO_DBUSMENU' or fail('the item exports no menu')
    menu = bus.get_object(service, path)
    entries = [(entry[0], entry[1].get('label', entry[1].get('type'))) for entry in
               menu.GetLayout(0, -1, dbus.Array(signature='s'), dbus_interface=MENU)[1][2]]
    labels = [label for _, label in entries]
    labels == ['メイン画面を表示', 'separator', '終了'] or fail(f'the menu is {labels}')
    for click in ('Activate', 'ContextMenu'):
        try:
            getattr(item, click)(0, 0, dbus_interface=ITEM, timeout=2)
        except dbus.DBusException as error:
            fail(f'{click} got no answer in time: {error}')
        wait(popup_open) or fail(f'{click} opened no popup menu of the program')
        xdotool('key', 'Escape')
        wait(lambda: not popup_open()) or fail('Escape left the popup menu open')
    menu.Event(entries[2][0], 'clicked', '', dbus.UInt32(0), dbus_interface=MENU)
    try:
        program.wait(5) == 0 or fail(f'the program ended with {program.returncode}')
    except subprocess.TimeoutExpired:
        fail('the exported "終了" did not end the program')
finally:
    if program.poll() is None:
        program.kill()
    xvfb.kill()
shutil.rmtree(work)
print('PASS')
