#!/usr/bin/python3
# The yardstick for tarlo02-logd's cost: a minimal reader-publisher as a hobbyist would write
# it with the usual libraries. It reads the controller's records (pyserial), appends a CSV
# row once a minute and publishes each record as retained JSON (paho-mqtt, its network loop
# on a thread), with the count of records read, as the service's state has it. Usage: reference.py PORT LOG_DIR BROKER_PORT TOPIC
import json
import os
import sys
import time

import paho.mqtt.client as mqtt
import serial

port, log_dir, broker_port, topic = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
client = mqtt.Client()
client.connect("127.0.0.1", broker_port)
client.loop_start()
line = serial.Serial(port, 19200, timeout=None)
log = os.path.join(log_dir, time.strftime("%Y-%m-%d {%H%M%S}.csv"))
with open(log, "a") as f:
    f.write("Time;PH;PHmin;PHmax;PPM;KH;Alarm;OUT O2;OUT CO2\r\n")
record, last_minute, records = None, None, 0


def number(text):
    try:
        return float(text.replace(",", "."))
    except ValueError:
        return None


while True:
    text = line.readline().decode("latin-1").rstrip("\r\n")
    if text == "-":
        record = []
        continue
    if record is None:
        continue
    record.append(text)
    if len(record) < 11:
        continue
    v = record[:10]
    record = None
    records += 1
    minute = time.strftime("%H:%M")
    if minute != last_minute:
        last_minute = minute
        with open(log, "a") as f:
            f.write(";".join([minute] + v[:6] + ["on" if v[6] == "1" else "off", "on" if v[7] == "1" else "off"]) + "\r\n")
    state = {"ph": number(v[0]), "ph_min": number(v[1]), "ph_max": number(v[2]), "co2_ppm": number(v[3]),
             "kh": number(v[4]), "o2_out": v[6] == "1", "co2_out": v[7] == "1", "time": time.strftime("%Y-%m-%dT%H:%M:%S"),
             "records": records}
    client.publish(topic, json.dumps(state), qos=0, retain=True)
