@echo off
rem joywire phone: the feeder on 127.0.0.1 for vJoy device 1, and the phone page beside it.
rem Double-click it and scan the QR code with the phone. Closing this window stops both and
rem leaves the joystick at rest. Options for joywire-send may follow (--https, --web-port N).
title joywire phone
cd /d "%~dp0"
joywire-send.exe --web --start-feeder "%~dp0joywire.exe" %*
if errorlevel 1 pause
