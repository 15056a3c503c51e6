@echo off
rem joywire phone: a feeder for each player's vJoy device (device k on 127.0.0.k), and the phone
rem page beside them. Double-click it, say how many players, and scan the QR code with each
rem phone. Closing this window stops them all and leaves every joystick at rest. Options for
rem joywire-send may follow (--players N, --https, --web-port N); with --players it asks nothing.
title joywire phone
cd /d "%~dp0"
set players=
for %%a in (%*) do if /i "%%~a"=="--players" goto start
set count=1
set /p count=How many players, each with a phone and a vJoy device of its own (1 to 16, Enter for 1)? 
set players=--players %count%
:start
joywire-send.exe --web %players% --start-feeder "%~dp0joywire.exe" %*
if errorlevel 1 pause
