#!/usr/bin/python3
"""End-to-end tests of the RF automation and the phase setter on the simulated station: the real server on a copy
of config/sim with the automation (or the phase setter) switched on in the copy's configuration, driven over HTTP
and WebSocket as an operator would. The settings of the ramp-up are put over the control-system API.

Usage: automation_test.py <path to tessarel_server> <path to config/sim> [test class or test ...]
"""
import asyncio
import json
import os
import queue
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import simstation_test as simstation  # noqa: E402
from simstation_test import mean  # noqa: E402
from station import wait_until  # noqa: E402

CONTROLLER = "/Controller"
AUTOMATION = "/Automation"
SET_POINT = 5.0  # MV/m, the shipped start value

# currentMode
MODE_OFF, MODE_RAMPUP, MODE_ERROR, MODE_CW_AUTO, MODE_CALIBRATE_VM_OFFSET = 0, 3, 4, 5, 8
# requestMode
REQUEST_RAMPUP, REQUEST_CALIBRATE_VM_OFFSET = 3, 7

# Waits are long enough for the address sanitizer's build (about one pulse a second) on a loaded machine.
RAMP_TIMEOUT = 240


def scalar(value):
    return value[0] if isinstance(value, list) else value


class ScalarUpdates:
    """The updates of scalar variables (their JSON messages) as the server pushes them over one WebSocket, received
    in a thread of its own from the moment the subscription stands (entering the context) until leaving it."""

    def __init__(self, base, paths):
        self.url = base.replace("http://", "ws://") + "/api/ws"
        self.paths = list(paths)
        self.received = queue.Queue()
        self.ready = threading.Event()
        self.stopping = threading.Event()
        self.failure = None
        self.thread = threading.Thread(target=lambda: asyncio.run(self._receive()))

    def __enter__(self):
        self.thread.start()
        if not self.ready.wait(30):
            self.stopping.set()
            self.thread.join(30)
            raise AssertionError(f"no subscription of {self.paths}: {self.failure}")
        return self

    def __exit__(self, *exception):
        self.stopping.set()
        self.thread.join(30)
        return False

    async def _receive(self):
        import websockets
        try:
            async with websockets.connect(self.url, max_size=None) as ws:
                await ws.send(json.dumps({"subscribe": self.paths}))
                initial = set()
                while not self.stopping.is_set():
                    try:
                        message = await asyncio.wait_for(ws.recv(), 0.2)
                    except asyncio.TimeoutError:
                        continue
                    if isinstance(message, bytes):
                        continue
                    update = json.loads(message)
                    if update.get("type") != "update":
                        continue
                    update["value"] = scalar(update["value"])
                    self.received.put(update)
                    initial.add(update["path"])
                    if initial >= set(self.paths):
                        self.ready.set()
        except Exception as failure:  # reported by the waiting side
            self.failure = failure

    def until(self, timeout, what):
        """The updates as they come, for at most `timeout` seconds."""
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError(f"timed out after {timeout} s waiting for {what}")
            try:
                yield self.received.get(timeout=min(left, 0.5))
            except queue.Empty:
                if self.failure:
                    raise AssertionError(f"subscription ended: {self.failure}")


class StationTest(simstation.SimulatedStationTest):
    """The simulated station with the configuration's switches of `configuration` set in the copy."""
    prefix = "simstation-automation"
    configuration = {}
    trace_timeout = 60.0

    def prepare(self, station):
        for name, value in self.configuration.items():
            station.edit("tessarel_base_config.xml", f'name="{name}" type="int32" value="0"',
                         f'name="{name}" type="int32" value="{value}"')


class AutomationTest(StationTest):
    configuration = {"enableAutomation": 1}

    # a ramp-up in open loop without output correction or feedback (Rampup/type 2): the drive goes on at the
    # initial set point and the set point steps to the operator's
    rampup = {
        "initialSetpoint": 2.0,
        "allowedAmplitudeExcess": 1.0,
        "allowedError": 1e9,
        "gain": 0.0,
        "stepsizeSetpoint": 1.0,
        "stepsizeGain": 1.0,
        "pauseRamping": 0,
        "type": 2,
        "OVC/rerunDuringRamping": 0,
        "OVC/rateScale": 0.2,
        "OVC/ratePhase": 10.0,
        "OVC/maxIterations": 30,
        "OVC/targetError": 0.0,
        "OVC/maxScale": 2.0,
        "OVC/minScale": 0.5,
    }
    gain = 0.0

    def mode(self):
        return self.station.value(AUTOMATION + "/currentMode")

    def ramp_up(self):
        """Puts the ramp-up's settings and the operator's set point, requests the ramp-up and waits for CW mode."""
        for name, value in self.rampup.items():
            self.station.put(AUTOMATION + "/Rampup/" + name, value)
        self.station.put(AUTOMATION + "/Ramp/amplitudeStep", 0.5)
        self.station.put(AUTOMATION + "/Ramp/phaseStep", 5.0)
        self.station.put(AUTOMATION + "/SetPoint/amplitude", SET_POINT)
        self.station.put(AUTOMATION + "/SetPoint/phase", 0.0)
        self.station.put(AUTOMATION + "/FeedBack/Gain/magnitude", self.gain)
        self.station.put(AUTOMATION + "/requestMode", REQUEST_RAMPUP)
        modes = []

        def in_cw_mode():
            mode = self.mode()
            if not modes or modes[-1] != mode:
                modes.append(mode)
            if mode == MODE_ERROR:
                raise AssertionError(f"error state: {self.station.value(AUTOMATION + '/errorMessage')!r}; "
                                     f"modes {modes}; log:\n{self.station.output()[-3000:]}")
            return mode == MODE_CW_AUTO
        wait_until(in_cw_mode, RAMP_TIMEOUT, "CW mode after the ramp-up")
        self.assertIn(MODE_RAMPUP, modes)


class AutomationInterlock(AutomationTest):
    prefix = "simstation-interlock"

    def test_cavity_without_field_trips_the_interlock_within_two_pulses_and_switches_the_drive_off(self):
        # while the ramp switches the board to CW mode a pulse may show no field at the sampling position: the
        # threshold stays 0 until CW mode stands
        self.station.put("/InterlockDetection/threshold", 0.0)
        self.ramp_up()
        self.assertTrue(self.station.value("/InterlockDetection/enable"), "the ramp-up enables the detection")
        self.assertTrue(self.station.value(CONTROLLER + "/FeedForward/enable_actual"))
        self.assertFalse(self.station.value("/InterlockDetection/interlockDetected"))
        sample = CONTROLLER + "/VectorSum/DAQ/Samples/amplitude"
        # in CW mode the board keeps driving between pulses: the sampling position sees the field at the set point,
        # a cavity without impedance none
        wait_until(lambda: self.station.scalar(sample) > 0.9 * SET_POINT, 60, "field at the sampling position")
        self.station.put("/InterlockDetection/threshold", 0.2 * SET_POINT)
        self.station.traces([CONTROLLER + "/VectorSum/DAQ/amplitude"], 2, 60)
        self.assertFalse(self.station.value("/InterlockDetection/interlockDetected"))

        # no impedance, no field: the second pulse after the write at the latest trips the interlock. The pulse
        # that tripped it is the trigger whose version the interlock's update carries (the server's own count).
        with ScalarUpdates(self.station.base, ["/Server/triggerNumber", "/InterlockDetection/interlockDetected"]) \
                as watched:
            self.station.put("/Model/simulatedImpedance", 0.0)
            at = self.station.get("/Server/triggerNumber")
            at["value"] = scalar(at["value"])
            triggers = {at["version"]: at["value"]}
            tripped = None
            for update in watched.until(60, "the interlock"):
                if update["path"] == "/Server/triggerNumber":
                    triggers[update["version"]] = update["value"]
                elif update["value"] is True:
                    tripped = update
                    break
        self.assertIn(tripped["version"], triggers, "the interlock's update carries a trigger's version")
        self.assertLessEqual(triggers[tripped["version"]] - at["value"], 2, "pulses from the write to the interlock")
        wait_until(lambda: self.station.value(CONTROLLER + "/FeedForward/enable_actual") is False, 30,
                   "the board's feed-forward switched off")
        self.assertFalse(self.station.value(CONTROLLER + "/FeedBack/enable_actual"))
        wait_until(lambda: self.mode() == MODE_ERROR, 30, "the automation's error state")


class RampUp(AutomationTest):
    prefix = "simstation-rampup"
    # the drive path as shipped matches the feed-forward: in CW mode the flat-top (the whole pulse) stands at the set
    # point without correction or feedback
    rampup = dict(AutomationTest.rampup, allowedError=0.1 * SET_POINT)

    def test_ramp_up_reaches_the_set_point_with_the_error_within_the_allowed_error_then_cw_mode(self):
        self.ramp_up()
        self.assertEqual(self.station.value(CONTROLLER + "/SetPoint/amplitude"), SET_POINT)
        self.assertEqual(self.station.value(CONTROLLER + "/PulseShape/cwMode"), 1)
        self.assertTrue(self.station.value(CONTROLLER + "/FeedForward/enable_actual"))
        self.assertTrue(self.station.value("/InterlockDetection/enable"))
        self.assertFalse(self.station.value("/InterlockDetection/interlockDetected"))
        # the board runs the set point: its set-point trace, and a field that stands at it from the pulse's start on
        paths = [CONTROLLER + "/SetPoint/DAQ/amplitude", CONTROLLER + "/VectorSum/DAQ/amplitude"]
        updates = self.station.traces(paths, 3, 60)
        set_point = updates[paths[0]][-1][1]
        field = updates[paths[1]][-1][1]
        self.assertLess(abs(mean(set_point) - SET_POINT), 0.01 * SET_POINT, "set-point trace")
        self.assertGreater(min(field), 0.95 * SET_POINT, "field over the whole pulse")
        allowed = self.station.value(AUTOMATION + "/Rampup/allowedError")
        error = self.station.value(CONTROLLER + "/Error/DAQ/Statistics/amplitudeAverage")
        self.assertLess(error, allowed)

        # CW mode: the controller's set point follows the operator's in steps of Ramp/amplitudeStep
        self.station.put(AUTOMATION + "/SetPoint/amplitude", 4.0)
        wait_until(lambda: self.station.value(CONTROLLER + "/SetPoint/amplitude") == 4.0, 60, "the new set point")
        wait_until(lambda: self.mode() == MODE_CW_AUTO, 30, "CW mode again")
        self.assertFalse(self.station.value("/InterlockDetection/interlockDetected"))


class ClosedLoopRampUp(AutomationTest):
    """The ramp-up with its output correction and feedback (Rampup/type 0 and 1) on a drive path 20 % weak (the
    cavity's impedance 80 instead of 100): the correction raises the automation's cascade scale by 100/80 with no
    turn (the path is off in amplitude only), feedback closes with the gain ramped to the operator's, and the
    flat-top error ends below the allowed error in CW mode."""
    prefix = "simstation-closedloop"
    impedance = 80.0
    gain = 2.0  # final gain: loop gain 2 x 2
    rampup = dict(AutomationTest.rampup, allowedError=0.1 * SET_POINT, gain=1.0, stepsizeGain=0.5, **{
        # the first measurements after the switch to CW mode may still show pulses of the pulsed tables: the rate
        # limits damp the overshoot, and the iterations leave room for a loaded machine
        "OVC/maxIterations": 100,
        "OVC/targetError": 0.005 * SET_POINT * 10000,  # digits: 0.5 % of the set point
        "OVC/debug": 1,  # each correction step in the server's log
    })

    def ramp_up_of_type(self, ramp_type, rerun):
        self.rampup = dict(self.rampup, type=ramp_type, **{"OVC/rerunDuringRamping": rerun})
        self.station.put("/Model/simulatedImpedance", self.impedance)
        self.ramp_up()
        self.assertEqual(self.station.value(CONTROLLER + "/SetPoint/amplitude"), SET_POINT)
        self.assertEqual(self.station.value(CONTROLLER + "/FeedBack/Gain/magnitude"), self.gain)
        self.assertEqual(self.station.value(CONTROLLER + "/PulseShape/cwMode"), 1)
        self.assertTrue(self.station.value(CONTROLLER + "/FeedForward/enable_actual"))
        self.assertTrue(self.station.value(CONTROLLER + "/FeedBack/enable_actual"))
        self.assertTrue(self.station.value("/InterlockDetection/enable"))
        self.assertFalse(self.station.value("/InterlockDetection/interlockDetected"))
        cascade = CONTROLLER + "/Output/Calibration/CascadeInputAutomation/"
        self.assertEqual(self.station.value(cascade + "enable"), 1)
        scale = self.station.value(cascade + "scale")
        self.assertLess(abs(scale - 100.0 / self.impedance), 0.03 * 100.0 / self.impedance, "corrected scale")
        self.assertLess(abs(self.station.value(cascade + "angle")), 1.0, "corrected angle")

        # the flat-top (in CW mode the whole pulse) at the set point, the field standing from the pulse's start on
        allowed = self.station.value(AUTOMATION + "/Rampup/allowedError")
        field = self.settled_trace(CONTROLLER + "/VectorSum/DAQ/amplitude")
        self.assertLess(abs(mean(field) - SET_POINT), 0.02 * SET_POINT, "flat-top field")
        self.assertGreater(min(field), 0.95 * SET_POINT, "field over the whole pulse")
        error = self.station.value(CONTROLLER + "/Error/DAQ/Statistics/amplitudeAverage")
        self.assertLess(error, allowed)
        self.assertEqual(self.mode(), MODE_CW_AUTO)

    def test_type_1_ramps_in_closed_loop_with_corrections_during_and_after_the_ramp(self):
        self.ramp_up_of_type(1, 3)

    def test_type_0_ramps_in_open_loop_then_corrects_and_closes_the_loop(self):
        self.ramp_up_of_type(0, 0)


class VectorModulatorCalibration(StationTest):
    """The offset calibration with RF off on a vector modulator whose own offsets leak into the cavity (the board's
    vmOffsetI and vmOffsetQ set in the copy's device map), seen through an output calibration turned by 30 deg: the
    calibration measures how the vector sum follows the offsets (scale and turn), the DAC offsets it finds cancel
    the leakage, become the operator's, and the automation returns to off."""
    prefix = "simstation-vmcalibration"
    configuration = {"enableAutomation": 1}
    leakage = (400, -250)  # digits of the DAC
    max_amplitude = 20.0  # digits of the vector sum (the leakage is some 2 x 470)

    def prepare(self, station):
        super().prepare(station)
        parameters = f"&vmOffsetI={self.leakage[0]}&vmOffsetQ={self.leakage[1]}"
        station.edit("tessarel.dmap", "&tableLength=2048)", "&tableLength=2048" + parameters + ")")

    def leaked(self):
        """The vector sum over the flat-top of a pulse after the ones in flight, as (I, Q) in digits."""
        statistics = CONTROLLER + "/VectorSum/DAQ/Statistics/"
        self.station.traces([CONTROLLER + "/VectorSum/DAQ/I"], 3, self.trace_timeout)
        return self.station.value(statistics + "IAverage"), self.station.value(statistics + "QAverage")

    def test_calibration_cancels_the_leakage_publishes_the_offsets_and_returns_to_off(self):
        wait_until(lambda: self.station.value(AUTOMATION + "/currentMode") == MODE_OFF, 30, "the automation off")
        self.station.put(CONTROLLER + "/Output/Calibration/Manual/angle", 30.0)
        wait_until(lambda: self.station.value(CONTROLLER + "/Output/Calibration/angle") == 30.0, 30,
                   "the output calibration turned")
        before = self.leaked()
        self.assertGreater(abs(complex(*before)), 10 * self.max_amplitude, f"leakage with RF off: {before}")
        calibration = AUTOMATION + "/VectorModulator/DacOffset/Calibration/"
        self.station.put(calibration + "maxIandQ", 2000.0)
        self.station.put(calibration + "maxAmplitudeAfterCalibration", self.max_amplitude)
        self.station.put(calibration + "maxIterations", 10)
        self.station.put(calibration + "nTriggersAverage", 2)

        modes = []
        with ScalarUpdates(self.station.base, [AUTOMATION + "/currentMode"]) as watched:
            self.station.put(AUTOMATION + "/requestMode", REQUEST_CALIBRATE_VM_OFFSET)
            for update in watched.until(RAMP_TIMEOUT, "the calibration's end"):
                modes.append(update["value"])
                if update["value"] == MODE_ERROR:
                    self.fail(f"error state: {self.station.value(AUTOMATION + '/errorMessage')!r}")
                if MODE_CALIBRATE_VM_OFFSET in modes and update["value"] == MODE_OFF:
                    break
        self.assertFalse(self.station.value(AUTOMATION + "/errorMessage"), "no error (the message is never written)")

        # the offsets that cancel the leakage: the operator's now, and on the board
        offset = (self.station.value(AUTOMATION + "/VectorModulator/DacOffset/I"),
                  self.station.value(AUTOMATION + "/VectorModulator/DacOffset/Q"))
        # the calibration stops once the vector sum is below max_amplitude, about 2 vector-sum digits per DAC
        # digit: a measurement that a loaded machine delays into the next pulse leaves a few digits more than an
        # exact one
        tolerance = self.max_amplitude / 2
        self.assertLessEqual(abs(offset[0] + self.leakage[0]), tolerance, f"offsets found {offset}")
        self.assertLessEqual(abs(offset[1] + self.leakage[1]), tolerance, f"offsets found {offset}")
        wait_until(lambda: (self.station.value(CONTROLLER + "/VectorModulator/DacOffset/I"),
                            self.station.value(CONTROLLER + "/VectorModulator/DacOffset/Q")) == offset, 30,
                   "the offsets passed to the controller")
        after = self.leaked()
        self.assertLess(abs(complex(*after)), self.max_amplitude, f"leakage after the calibration: {after}")
        self.assertEqual(self.station.value(AUTOMATION + "/currentMode"), MODE_OFF)


class PhaseSetter(StationTest):
    prefix = "simstation-phasesetter"
    configuration = {"enablePhaseSetter": 1}

    def test_phase_setter_turns_the_set_point_and_the_measured_phase_to_the_target(self):
        self.station.put(CONTROLLER + "/FeedForward/enable", True)
        wait_until(lambda: self.station.value(CONTROLLER + "/FeedForward/enable_actual") is True, 20,
                   "the board's feed-forward enable")
        begin, end = self.flattop()
        phase = CONTROLLER + "/VectorSum/DAQ/phase"
        before = mean(self.settled_trace(phase)[begin:end])
        self.station.put("/PhaseSetter/targetPhase", 30.0)
        self.station.put("/PhaseSetter/rampingSpeed", 5.0)
        self.station.put("/PhaseSetter/tolerance", 0.01)
        start = self.station.trigger()
        self.station.put("/PhaseSetter/performAdjustments", 1)
        wait_until(lambda: self.station.value("/PhaseSetter/isRamping") == 1
                   or self.station.value("/PhaseSetter/isIdle") == 1 and
                   self.station.value(CONTROLLER + "/SetPoint/phase") == 30.0, 30, "the phase setter to start")
        wait_until(lambda: self.station.value("/PhaseSetter/isIdle") == 1, 60, "the phase setter to finish")
        done = self.station.trigger()
        self.assertEqual(self.station.value("/PhaseSetter/performAdjustments"), 0)
        self.assertAlmostEqual(self.station.value(CONTROLLER + "/SetPoint/phase"), 30.0, places=6)
        # 30 deg at 5 deg per trigger: six steps, one per trigger
        self.assertGreaterEqual(done - start, 6)
        wait_until(lambda: abs(mean(self.station.value(phase)[begin:end]) - (before + 30.0)) < 0.5, 30,
                   "the measured phase turned by 30 deg")
        amplitude = mean(self.settled_trace(CONTROLLER + "/VectorSum/DAQ/amplitude")[begin:end])
        self.assertLess(abs(amplitude - SET_POINT), 0.05 * SET_POINT)


if __name__ == "__main__":
    simstation.SERVER, simstation.SIM = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
